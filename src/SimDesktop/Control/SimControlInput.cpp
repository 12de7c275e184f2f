#include "SimDesktop/Control/SimControlInput.h"

#include "Platform/Dispatch/Dispatch.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>

namespace lorvantine {

// What the posted work needs once the input may be gone: touched on the main thread only.
struct SimControlInput::Shared {
    bool alive = true;
    std::function<void(std::string, Line)> onLine;
    std::function<void()> onEnd;
};

SimControlInput::SimControlInput(int fd, size_t maxBytes, std::function<void(std::string, Line)> onLine, std::function<void()> onEnd)
    : m_shared(std::make_shared<Shared>())
    , m_fd(fd)
    , m_maxBytes(maxBytes)
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
    auto deliver = [shared](std::string line, Line kind) {
        DispatchQueue::main().async([shared, line = std::move(line), kind]() mutable {
            if (shared->alive && shared->onLine)
                shared->onLine(std::move(line), kind);
        });
    };
    std::string pending;
    bool discarding = false;
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = { { m_fd, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        const int ready = ::poll(fds, m_wake[0] >= 0 ? 2 : 1, -1);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0 || (fds[1].revents & POLLIN) != 0)
            return;
        const ssize_t count = ::read(m_fd, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (count <= 0) {
            DispatchQueue::main().async([shared] {
                if (shared->alive && shared->onEnd)
                    shared->onEnd();
            });
            return;
        }
        for (ssize_t i = 0; i < count; ++i) {
            const char c = buffer[i];
            if (c == '\n') {
                if (!discarding)
                    deliver(std::move(pending), Line::complete);
                pending.clear();
                discarding = false;
                continue;
            }
            if (discarding)
                continue;
            pending.push_back(c);
            if (pending.size() > m_maxBytes) {
                // Answered at once; the rest of the line is dropped as it comes.
                deliver({}, Line::tooLong);
                pending.clear();
                discarding = true;
            }
        }
    }
}

} // namespace lorvantine
