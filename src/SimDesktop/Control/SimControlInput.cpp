#include "SimDesktop/Control/SimControlInput.h"

#include "Platform/Dispatch/Dispatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <mutex>

namespace lorvantine {

// What the posted work needs once the input may be gone.
struct SimControlInput::Shared {
    // Main thread only.
    bool alive = true;
    std::function<void(std::string, Line, Place)> onLine;
    std::function<void()> onEnd;
    // Lines posted to the main queue and not finished yet; the reader waits while it is full.
    std::mutex mutex;
    std::condition_variable changed;
    size_t held = 0;
    bool stopping = false;
};

SimControlInput::SimControlInput(int fd, Options options, std::function<void(std::string, Line, Place)> onLine, std::function<void()> onEnd)
    : m_shared(std::make_shared<Shared>())
    , m_fd(fd)
    , m_options(std::move(options))
{
    m_shared->onLine = std::move(onLine);
    m_shared->onEnd = std::move(onEnd);
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_reader = std::thread([this] { readLoop(); });
}

SimControlInput::~SimControlInput()
{
    m_shared->alive = false;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->changed.notify_all();
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t written = ::write(m_wake[1], &byte, 1);
    }
    if (m_reader.joinable())
        m_reader.join();
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
}

void SimControlInput::readLoop()
{
    std::shared_ptr<Shared> shared = m_shared;
    // Waits for room among the held lines; false when the input is going away.
    auto deliver = [shared, maxHeld = std::max<size_t>(m_options.maxHeld, 1)](std::string line, Line kind) {
        {
            std::unique_lock lock(shared->mutex);
            shared->changed.wait(lock, [&] { return shared->stopping || shared->held < maxHeld; });
            if (shared->stopping)
                return false;
            ++shared->held;
        }
        DispatchQueue::main().async([shared, line = std::move(line), kind]() mutable {
            Place place(nullptr, [shared](void*) {
                {
                    std::lock_guard lock(shared->mutex);
                    --shared->held;
                }
                shared->changed.notify_all();
            });
            if (shared->alive && shared->onLine)
                shared->onLine(std::move(line), kind, std::move(place));
        });
        return true;
    };
    int fd = m_fd;
    std::string pending;
    bool discarding = false;
    // A descriptor read without blocking is read again at once after bytes came: a pipe opened
    // anew does not report that the writer it missed has gone, but its read says so.
    bool readAgain = false;
    char buffer[4096];
    for (;;) {
        if (!readAgain) {
            pollfd fds[2] = { { fd, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
            const int ready = ::poll(fds, m_wake[0] >= 0 ? 2 : 1, -1);
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready < 0 || (fds[1].revents & POLLIN) != 0)
                return;
        }
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        readAgain = false;
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count <= 0) {
            // A line its writer left unfinished is answered, not glued to what comes next.
            if (!pending.empty() && !discarding && !deliver({}, Line::cutOff))
                return;
            pending.clear();
            discarding = false;
            if (count == 0 && m_options.reopen) {
                fd = m_options.reopen();
                if (fd >= 0)
                    continue;
            }
            DispatchQueue::main().async([shared] {
                if (shared->alive && shared->onEnd)
                    shared->onEnd();
            });
            return;
        }
        readAgain = (::fcntl(fd, F_GETFL) & O_NONBLOCK) != 0;
        for (ssize_t i = 0; i < count; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!discarding && !deliver(std::move(pending), Line::complete))
                    return;
                pending.clear();
                discarding = false;
                continue;
            }
            if (discarding)
                continue;
            pending.push_back(c);
            if (pending.size() > m_options.maxBytes) {
                // Answered at once; the rest of the line is dropped as it comes.
                if (!deliver({}, Line::tooLong))
                    return;
                pending.clear();
                discarding = true;
            }
        }
    }
}

} // namespace lorvantine
