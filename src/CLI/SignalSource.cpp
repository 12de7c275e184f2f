#include "CLI/SignalSource.h"

#include "Platform/Dispatch/Dispatch.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>

namespace lorvantine {

namespace {

static_assert(std::atomic<int>::is_always_lock_free, "the handler reads the pipe's descriptor without a lock");

// The pipe is made once and never closed, so a handler that runs while a source is being
// destroyed on another thread never writes into a descriptor that has been reused.
std::atomic<int> s_writeEnd { -1 };
int s_readEnd = -1;
std::atomic<bool> s_sourceExists { false };
// The signals held for the process, one bit each (bit n - 1 for signal n). Main thread.
uint64_t s_held = 0;

uint64_t bitOf(int signalNumber)
{
    return signalNumber > 0 && signalNumber <= 64 ? uint64_t(1) << (signalNumber - 1) : 0;
}

bool isHeld(int signalNumber) { return (s_held & bitOf(signalNumber)) != 0; }

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

void handleSignal(int signalNumber)
{
    const int savedErrno = errno;
    if (int fd = s_writeEnd.load(std::memory_order_relaxed); fd >= 0) {
        // A full pipe already holds a wake-up; losing this byte loses nothing.
        const char byte = static_cast<char>(signalNumber);
        [[maybe_unused]] ssize_t written = write(fd, &byte, 1);
    }
    errno = savedErrno;
}

struct sigaction catchingAction()
{
    struct sigaction action {};
    action.sa_handler = handleSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    return action;
}

// A launcher may hand the signals over blocked; one already pending arrives as soon as this
// returns. Threads made later inherit the mask of the thread that makes them.
void unblock(std::span<const int> signalNumbers)
{
    sigset_t set;
    sigemptyset(&set);
    for (int signalNumber : signalNumbers)
        sigaddset(&set, signalNumber);
    pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void drainPipe()
{
    char buffer[64];
    while (read(s_readEnd, buffer, sizeof buffer) > 0) {
    }
}

} // namespace

bool SignalSource::holdForTheProcess(std::span<const int> signalNumbers, Hold from, std::string& error)
{
    bool held = openPipeOnce(error);
    if (held && from == Hold::now) {
        const struct sigaction action = catchingAction();
        for (int signalNumber : signalNumbers) {
            if (sigaction(signalNumber, &action, nullptr) != 0) {
                error = std::string("cannot install the signal handler: ") + std::strerror(errno);
                held = false;
                break;
            }
        }
    }
    if (held)
        for (int signalNumber : signalNumbers)
            s_held |= bitOf(signalNumber);
    // Even when they cannot be held, they must not stay blocked for the whole run.
    unblock(signalNumbers);
    return held;
}

std::unique_ptr<SignalSource> SignalSource::create(int signalNumber, std::function<void(int)> onSignal, std::string& error)
{
    return create(std::span<const int>(&signalNumber, 1), std::move(onSignal), error);
}

std::unique_ptr<SignalSource> SignalSource::create(std::span<const int> signalNumbers, std::function<void(int)> onSignal, std::string& error,
                                                   Delivery delivery, Takes takes)
{
    if (!openPipeOnce(error))
        return nullptr;
    int stop[2];
    if (pipe2(stop, O_CLOEXEC) != 0) {
        error = std::string("cannot make the signal source's pipe: ") + std::strerror(errno);
        return nullptr;
    }
    if (s_sourceExists.exchange(true)) {
        error = "a signal source already exists";
        close(stop[0]);
        close(stop[1]);
        return nullptr;
    }
    // Bytes left by a signal that came as the previous source was going away are not this one's,
    // unless the process holds its signals for the next source.
    bool held = false;
    for (int signalNumber : signalNumbers)
        held = held || isHeld(signalNumber);
    if (!held)
        drainPipe();

    const struct sigaction action = catchingAction();
    std::vector<std::pair<int, struct sigaction>> previous;
    for (int signalNumber : signalNumbers) {
        struct sigaction before {};
        if (sigaction(signalNumber, &action, &before) != 0) {
            error = std::string("cannot install the signal handler: ") + std::strerror(errno);
            for (auto it = previous.rbegin(); it != previous.rend(); ++it)
                sigaction(it->first, &it->second, nullptr);
            close(stop[0]);
            close(stop[1]);
            s_sourceExists = false;
            return nullptr;
        }
        previous.emplace_back(signalNumber, before);
    }
    unblock(signalNumbers);
    return std::unique_ptr<SignalSource>(new SignalSource(std::move(previous), std::move(onSignal), delivery, takes, stop[0], stop[1]));
}

SignalSource::SignalSource(std::vector<std::pair<int, struct sigaction>> previous, std::function<void(int)> onSignal, Delivery delivery, Takes takes,
                           int stopRead, int stopWrite)
    : m_previous(std::move(previous))
    , m_onSignal(std::move(onSignal))
    , m_delivery(delivery)
    , m_takes(takes)
    , m_stop { stopRead, stopWrite }
{
    m_reader = std::thread([this] { readLoop(); });
}

SignalSource::~SignalSource()
{
    // A held signal stays caught: what comes from now on waits in the pipe for the next source.
    for (auto it = m_previous.rbegin(); it != m_previous.rend(); ++it)
        if (!isHeld(it->first))
            sigaction(it->first, &it->second, nullptr);
    const char byte = 1;
    while (write(m_stop[1], &byte, 1) < 0 && errno == EINTR) {
    }
    m_reader.join();
    close(m_stop[0]);
    close(m_stop[1]);
    s_sourceExists = false;
}

void SignalSource::readLoop()
{
    for (;;) {
        pollfd waiting[2] = { { s_readEnd, POLLIN, 0 }, { m_stop[0], POLLIN, 0 } };
        if (poll(waiting, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (waiting[1].revents != 0)
            return;
        // One byte, one signal, at a time: what this source does not take stays for the next.
        char byte = 0;
        if (read(s_readEnd, &byte, 1) != 1)
            continue;
        const int signalNumber = static_cast<unsigned char>(byte);
        if (m_onSignal) {
            if (m_delivery == Delivery::sourceThread)
                m_onSignal(signalNumber);
            else
                DispatchQueue::main().async([onSignal = m_onSignal, signalNumber] { onSignal(signalNumber); });
        }
        if (m_takes == Takes::first)
            return;
    }
}

} // namespace lorvantine
