#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine::test {

// A program run as a child process, its standard output and error written to files, for the life
// of this object (a child still running then is killed). Every wait is bounded in real time.
class ChildProcess {
public:
    struct Options {
        std::filesystem::path program;
        std::vector<std::string> arguments;
        // Set in the child's environment over this process's; none removes the variable.
        std::map<std::string, std::optional<std::string>> environment;
        // Where "stdout" and "stderr" are written.
        std::filesystem::path directory;
        // Standard error goes to a pipe that this object reads, instead of "stderr".
        bool standardErrorToPipe = false;
        // Standard output goes to a pipe that this object holds and never reads, instead of
        // "stdout", as a controller that stopped reading the answers does.
        bool standardOutputUnread = false;
        // The unread pipe's size; 0: the system's.
        int outputPipeBytes = 0;
        // Signals the child starts with blocked, as a launcher may hand them over: one sent to
        // it then waits, pending, for the program to take it.
        std::vector<int> blockedSignals;
        // The child's current directory; empty: this process's.
        std::filesystem::path workingDirectory;
    };

    explicit ChildProcess(Options options);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    bool started() const { return m_pid > 0; }
    std::string standardOutput() const;
    std::string standardError() const;

    // Waits until standard error holds `needle`; false on time-out or when the child ended first.
    bool waitForError(std::string_view needle, std::chrono::milliseconds timeout);
    // The same for standard output.
    bool waitForOutput(std::string_view needle, std::chrono::milliseconds timeout);
    // With the pipe: reads it until a line feed has arrived (false on time-out or its end),
    // and closes this end of it, as a reader that goes away does.
    bool readErrorLine(std::chrono::milliseconds timeout);
    void closeErrorPipe();
    // With the unread pipe: waits until it is full to the brim; false on time-out or when the
    // child ended first.
    bool waitForFullOutputPipe(std::chrono::milliseconds timeout);
    void signal(int number);
    // The exit status, or none when the child did not end in time (it is killed then) or ended by
    // a signal.
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    bool reap(bool block);
    bool waitForText(std::string (ChildProcess::*read)() const, std::string_view needle, std::chrono::milliseconds timeout);

    Options m_options;
    pid_t m_pid = -1;
    std::optional<int> m_waitStatus;
    int m_errorPipe = -1;
    int m_outputPipe = -1;
};

} // namespace lorvantine::test
