#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lorvantine::test {

ChildProcess::ChildProcess(Options options) : m_options(std::move(options))
{
    std::map<std::string, std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        std::string_view text(*entry);
        const size_t equals = text.find('=');
        if (equals != std::string_view::npos)
            environment[std::string(text.substr(0, equals))] = std::string(text.substr(equals + 1));
    }
    for (const auto& [name, value] : m_options.environment) {
        if (value)
            environment[name] = *value;
        else
            environment.erase(name);
    }
    std::vector<std::string> environmentLines;
    for (const auto& [name, value] : environment)
        environmentLines.push_back(name + "=" + value);

    std::vector<std::string> argumentLines { m_options.program.string() };
    argumentLines.insert(argumentLines.end(), m_options.arguments.begin(), m_options.arguments.end());
    auto pointers = [](std::vector<std::string>& lines) {
        std::vector<char*> list;
        for (std::string& line : lines)
            list.push_back(line.data());
        list.push_back(nullptr);
        return list;
    };
    std::vector<char*> argv = pointers(argumentLines);
    std::vector<char*> envp = pointers(environmentLines);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    int outputPipe[2] = { -1, -1 };
    if (m_options.standardOutputUnread && pipe2(outputPipe, O_CLOEXEC) == 0) {
        if (m_options.outputPipeBytes > 0)
            fcntl(outputPipe[0], F_SETPIPE_SZ, m_options.outputPipeBytes);
        posix_spawn_file_actions_adddup2(&actions, outputPipe[1], STDOUT_FILENO);
        m_outputPipe = outputPipe[0];
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, (m_options.directory / "stdout").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    int errorPipe[2] = { -1, -1 };
    const bool holdable = m_options.standardErrorHoldable || m_options.standardErrorHeldAtStart;
    if ((m_options.standardErrorToPipe || holdable) && pipe2(errorPipe, O_CLOEXEC) == 0) {
        posix_spawn_file_actions_adddup2(&actions, errorPipe[1], STDERR_FILENO);
        (holdable ? m_heldPipe : m_errorPipe) = errorPipe[0];
        if (m_options.standardErrorHeldAtStart) {
            m_holding = true;
            fillToTheBrim(errorPipe);
        }
    } else {
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, (m_options.directory / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    if (!m_options.workingDirectory.empty())
        posix_spawn_file_actions_addchdir_np(&actions, m_options.workingDirectory.c_str());
    // A Ctrl+C that the test runner receives is not the child's business; the child starts with
    // SIGINT at its default action whatever this process does with it.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGINT);
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int number : m_options.blockedSignals)
        sigaddset(&blocked, number);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &blocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    for (int end : { errorPipe[1], outputPipe[1] })
        if (end >= 0)
            close(end);
    if (error != 0) {
        ADD_FAILURE() << "cannot start " << m_options.program << ": " << std::strerror(error);
        return;
    }
    m_pid = pid;
    if (m_heldPipe >= 0) {
        fcntl(m_heldPipe, F_SETFL, O_NONBLOCK);
        m_copier = std::thread([this] { copyStandardError(); });
    }
}

ChildProcess::~ChildProcess()
{
    closeErrorPipe();
    if (m_pid > 0 && !m_waitStatus) {
        kill(m_pid, SIGKILL);
        reap(true);
    }
    endCopying();
    if (m_outputPipe >= 0)
        close(m_outputPipe);
}

void ChildProcess::copyStandardError()
{
    const int file = ::open((m_options.directory / "stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    char buffer[4096];
    for (;;) {
        bool ending = false;
        {
            std::unique_lock lock(m_copierMutex);
            m_copierWaits = m_holding && !m_copierEnding;
            m_copierChanged.notify_all();
            m_copierChanged.wait(lock, [this] { return !m_holding || m_copierEnding; });
            m_copierWaits = false;
            ending = m_copierEnding;
        }
        pollfd waiting { m_heldPipe, POLLIN, 0 };
        poll(&waiting, 1, ending ? 0 : 20);
        const ssize_t got = read(m_heldPipe, buffer, sizeof buffer);
        if (got > 0) {
            for (ssize_t done = 0; done < got;) {
                const ssize_t put = ::write(file, buffer + done, static_cast<size_t>(got - done));
                if (put <= 0)
                    break;
                done += put;
            }
            continue;
        }
        // The end of the pipe, or, once the child has been reaped, nothing more in it (a child of
        // its own may still hold it open).
        if (got == 0 || ending || (errno != EAGAIN && errno != EINTR))
            break;
    }
    if (file >= 0)
        close(file);
    std::lock_guard lock(m_copierMutex);
    m_copierEnded = true;
    m_copierChanged.notify_all();
}

void ChildProcess::endCopying()
{
    if (!m_copier.joinable())
        return;
    {
        std::lock_guard lock(m_copierMutex);
        m_copierEnding = true;
        m_copierChanged.notify_all();
    }
    m_copier.join();
    close(m_heldPipe);
    m_heldPipe = -1;
}

bool ChildProcess::holdStandardError()
{
    if (!m_copier.joinable() || m_pid <= 0 || m_waitStatus)
        return false;
    {
        std::unique_lock lock(m_copierMutex);
        m_holding = true;
        m_copierChanged.wait(lock, [this] { return m_copierWaits || m_copierEnded; });
        if (m_copierEnded)
            return false;
    }
    // Through a writing end of our own, which the child's does not share the flags of.
    const int writer = ::open(("/proc/" + std::to_string(m_pid) + "/fd/2").c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (writer < 0)
        return false;
    const int ends[2] = { m_heldPipe, writer };
    fillToTheBrim(ends);
    close(writer);
    return true;
}

void ChildProcess::fillToTheBrim(const int ends[2])
{
    // A page is the least a pipe holds; it keeps its size when it already holds more.
    fcntl(ends[0], F_SETPIPE_SZ, 4096);
    // Filled with empty lines, the writing end made non-blocking for the while.
    const int flags = fcntl(ends[1], F_GETFL);
    fcntl(ends[1], F_SETFL, flags | O_NONBLOCK);
    const std::string page(4096, '\n');
    while (::write(ends[1], page.data(), page.size()) > 0) {
    }
    // A write of a line waits until the whole line fits: the last bytes one by one.
    while (::write(ends[1], "\n", 1) == 1) {
    }
    fcntl(ends[1], F_SETFL, flags);
}

void ChildProcess::releaseStandardError()
{
    std::lock_guard lock(m_copierMutex);
    m_holding = false;
    m_copierChanged.notify_all();
}

std::string ChildProcess::standardOutput() const { return readFile(m_options.directory / "stdout"); }
std::string ChildProcess::standardError() const { return readFile(m_options.directory / "stderr"); }

bool ChildProcess::reap(bool block)
{
    if (m_waitStatus)
        return true;
    int status = 0;
    pid_t done;
    do {
        done = waitpid(m_pid, &status, block ? 0 : WNOHANG);
    } while (done < 0 && errno == EINTR);
    if (done != m_pid)
        return false;
    m_waitStatus = status;
    return true;
}

bool ChildProcess::waitForText(std::string (ChildProcess::*read)() const, std::string_view needle, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if ((this->*read)().find(needle) != std::string::npos)
            return true;
        if (m_pid <= 0 || reap(false) || std::chrono::steady_clock::now() > deadline)
            return (this->*read)().find(needle) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool ChildProcess::waitForError(std::string_view needle, std::chrono::milliseconds timeout)
{
    return waitForText(&ChildProcess::standardError, needle, timeout);
}

bool ChildProcess::waitForOutput(std::string_view needle, std::chrono::milliseconds timeout)
{
    return waitForText(&ChildProcess::standardOutput, needle, timeout);
}

bool ChildProcess::readErrorLine(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (m_errorPipe >= 0 && std::chrono::steady_clock::now() < deadline) {
        pollfd waiting { m_errorPipe, POLLIN, 0 };
        if (poll(&waiting, 1, 20) <= 0)
            continue;
        char buffer[256];
        const ssize_t got = read(m_errorPipe, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        if (std::string_view(buffer, static_cast<size_t>(got)).find('\n') != std::string_view::npos)
            return true;
    }
    return false;
}

void ChildProcess::closeErrorPipe()
{
    if (m_errorPipe >= 0)
        close(m_errorPipe);
    m_errorPipe = -1;
}

bool ChildProcess::waitForFullOutputPipe(std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int unread = 0;
        if (m_outputPipe >= 0 && ioctl(m_outputPipe, FIONREAD, &unread) == 0 && unread == fcntl(m_outputPipe, F_GETPIPE_SZ))
            return true;
        if (m_outputPipe < 0 || m_pid <= 0 || reap(false) || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void ChildProcess::signal(int number)
{
    if (m_pid > 0 && !m_waitStatus)
        kill(m_pid, number);
}

bool ChildProcess::signalAndWaitTaken(int number, std::chrono::milliseconds timeout)
{
    if (m_pid <= 0 || m_waitStatus || kill(m_pid, number) != 0)
        return false;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    const uint64_t bit = uint64_t(1) << (number - 1);
    const auto statusFile = "/proc/" + std::to_string(m_pid) + "/status";
    for (;;) {
        // "ShdPnd": the signals pending for the whole process, in hexadecimal; "State": "Z" once
        // it has ended, when nothing is pending any more.
        const std::string status = readFile(statusFile);
        const size_t pending = status.find("ShdPnd:");
        const size_t state = status.find("State:");
        if (pending == std::string::npos || state == std::string::npos || status.find('Z', state) < status.find('\n', state))
            return false;
        if ((std::stoull(status.substr(pending + 7, status.find('\n', pending) - pending - 7), nullptr, 16) & bit) == 0)
            return true;
        if (reap(false) || std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

std::optional<int> ChildProcess::wait(std::chrono::milliseconds timeout)
{
    if (m_pid <= 0)
        return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!reap(false)) {
        if (std::chrono::steady_clock::now() > deadline) {
            ADD_FAILURE() << m_options.program << " did not end in time; killed";
            kill(m_pid, SIGKILL);
            reap(true);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // What the child wrote last is in "stderr" before anyone reads it.
    endCopying();
    if (!WIFEXITED(*m_waitStatus))
        return std::nullopt;
    return WEXITSTATUS(*m_waitStatus);
}

} // namespace lorvantine::test
