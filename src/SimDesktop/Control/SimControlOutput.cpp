#include "SimDesktop/Control/SimControlOutput.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <utility>

namespace lorvantine {

struct SimControlOutput::Shared {
    int fd = -1;
    // `fd` is a description opened here, closed at the end.
    bool ownDescription = false;
    bool socket = false;
    // The flags to put back on a shared description that had to be made non-blocking.
    std::optional<int> sharedFlags;
    int wake[2] = { -1, -1 };

    std::mutex mutex;
    std::condition_variable changed;
    std::deque<std::pair<std::string, std::shared_ptr<void>>> answers;
    bool stopping = false;
};

SimControlOutput::SimControlOutput(int fd)
    : m_shared(std::make_shared<Shared>())
{
    Shared& shared = *m_shared;
    shared.fd = fd;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) == 0 && flags >= 0) {
        if (S_ISSOCK(st.st_mode)) {
            shared.socket = true;
        } else if (!S_ISREG(st.st_mode) && (flags & O_NONBLOCK) == 0) {
            // The same pipe or terminal through a description of its own: the one this process
            // shares with its parent (a shell) must not be left non-blocking.
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            const int own = ::open(self.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
            struct stat opened {};
            if (own >= 0 && ::fstat(own, &opened) == 0 && opened.st_dev == st.st_dev && opened.st_ino == st.st_ino) {
                shared.fd = own;
                shared.ownDescription = true;
            } else {
                if (own >= 0)
                    ::close(own);
                if (::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == 0)
                    shared.sharedFlags = flags;
            }
        }
    }
    if (::pipe2(shared.wake, O_CLOEXEC) != 0)
        shared.wake[0] = shared.wake[1] = -1;
    m_writer = std::thread([this] { writeLoop(); });
}

SimControlOutput::~SimControlOutput()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->changed.notify_all();
    if (m_shared->wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] ssize_t written = ::write(m_shared->wake[1], &byte, 1);
    }
    m_writer.join();
    for (int fd : m_shared->wake)
        if (fd >= 0)
            ::close(fd);
    if (m_shared->ownDescription)
        ::close(m_shared->fd);
    if (m_shared->sharedFlags)
        ::fcntl(m_shared->fd, F_SETFL, *m_shared->sharedFlags);
}

void SimControlOutput::send(std::string line, std::shared_ptr<void> place)
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->answers.emplace_back(std::move(line), std::move(place));
    }
    m_shared->changed.notify_all();
}

void SimControlOutput::writeLoop()
{
    // A reader that closes its end makes the write fail here; it must not end the process.
    sigset_t brokenPipe;
    sigemptyset(&brokenPipe);
    sigaddset(&brokenPipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &brokenPipe, nullptr);

    Shared& shared = *m_shared;
    auto put = [&shared](const char* data, size_t size) {
        return shared.socket ? ::send(shared.fd, data, size, MSG_DONTWAIT | MSG_NOSIGNAL) : ::write(shared.fd, data, size);
    };
    bool woken = false;
    for (;;) {
        std::pair<std::string, std::shared_ptr<void>> answer;
        {
            std::unique_lock lock(shared.mutex);
            shared.changed.wait(lock, [&] { return shared.stopping || !shared.answers.empty(); });
            if (shared.answers.empty())
                return;
            answer = std::move(shared.answers.front());
            shared.answers.pop_front();
        }
        const std::string bytes = answer.first + "\n";
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t written = put(bytes.data() + done, bytes.size() - done);
            if (written > 0) {
                done += static_cast<size_t>(written);
                continue;
            }
            if (written < 0 && errno == EINTR)
                continue;
            if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                // Once told to stop, what cannot go out at once never will.
                if (woken)
                    return;
                pollfd waiting[2] = { { shared.fd, POLLOUT, 0 }, { shared.wake[0], POLLIN, 0 } };
                if (::poll(waiting, shared.wake[0] >= 0 ? 2 : 1, -1) < 0 && errno != EINTR)
                    return;
                woken = (waiting[1].revents & POLLIN) != 0;
                continue;
            }
            // The reader has gone for good: this answer cannot go out.
            break;
        }
    }
}

} // namespace lorvantine
