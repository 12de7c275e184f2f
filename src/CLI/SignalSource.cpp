#include "CLI/SignalSource.h"

#include "Platform/Dispatch/Dispatch.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <unistd.h>

namespace lorvantine {

namespace {

constexpr char signalByte = 'S';
constexpr char quitByte = 'Q';

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the pipe's descriptor without a lock");

// The pipe is made once and never closed, so a handler that runs while a source is being
// destroyed on another thread never writes into a descriptor that has been reused.
std::atomic<int> s_writeEnd { -1 };
int s_readEnd = -1;
std::atomic<bool> s_sourceExists { false };

bool openPipeOnce(std::string& error)
{
    static std::once_flag once;
    static std::string failure;
    std::call_once(once, [] {
        int ends[2];
        if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
            failure = std::string("cannot make the signal pipe: ") + std::strerror(errno);
            return;
        }
        s_readEnd = ends[0];
        s_writeEnd = ends[1];
    });
    error = failure;
    return failure.empty();
}

void handleSignal(int)
{
    const int savedErrno = errno;
    if (int fd = s_writeEnd.load(std::memory_order_relaxed); fd >= 0) {
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        [[maybe_unused]] ssize_t written = write(fd, &signalByte, 1);
    }
    errno = savedErrno;
}

void drainPipe()
{
    char buffer[64];
    while (read(s_readEnd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

std::unique_ptr<SignalSource> SignalSource::create(int signalNumber, std::function<void()> onSignal, std::string& error)
{
    return create(std::vector<int> { signalNumber }, std::move(onSignal), error);
}

std::unique_ptr<SignalSource> SignalSource::create(std::vector<int> signalNumbers, std::function<void()> onSignal, std::string& error)
{
    if (!openPipeOnce(error))
        return nullptr;
    if (s_sourceExists.exchange(true)) {
        error = "a signal source already exists";
        return nullptr;
    }
    // Bytes left by a signal that came as the previous source was going away are not this one's.
    drainPipe();

    struct sigaction action {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    std::vector<std::pair<int, struct sigaction>> previous;
    for (int signalNumber : signalNumbers) {
        struct sigaction before {};
        if (sigaction(signalNumber, &action, &before) != 0) {
            error = std::string("cannot install the signal handler: ") + std::strerror(errno);
            for (auto it = previous.rbegin(); it != previous.rend(); ++it)
                sigaction(it->first, &it->second, nullptr);
            s_sourceExists = false;
            return nullptr;
        }
        previous.emplace_back(signalNumber, before);
    }
    return std::unique_ptr<SignalSource>(new SignalSource(std::move(previous), std::move(onSignal)));
}

SignalSource::SignalSource(std::vector<std::pair<int, struct sigaction>> previous, std::function<void()> onSignal)
    : m_previous(std::move(previous))
    , m_onSignal(std::move(onSignal))
{
    m_reader = std::thread([this] { readLoop(); });
}

SignalSource::~SignalSource()
{
    for (auto it = m_previous.rbegin(); it != m_previous.rend(); ++it)
        sigaction(it->first, &it->second, nullptr);
    // The reader keeps emptying the pipe, so a full one has room again soon.
    while (write(s_writeEnd, &quitByte, 1) < 0 && (errno == EINTR || errno == EAGAIN))
        std::this_thread::yield();
    m_reader.join();
    s_sourceExists = false;
}

void SignalSource::readLoop()
{
    for (;;) {
        pollfd waiting { s_readEnd, POLLIN, 0 };
        if (poll(&waiting, 1, -1) < 0 && errno != EINTR)
            return;
        char buffer[64];
        ssize_t count = read(s_readEnd, buffer, sizeof buffer);
        for (ssize_t i = 0; i < count; ++i) {
            if (buffer[i] == quitByte)
                return;
            if (buffer[i] == signalByte && m_onSignal)
                DispatchQueue::main().async(m_onSignal);
        }
    }
}

} // namespace lorvantine
