#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
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
        // Standard error goes through a pipe that this object copies to "stderr" as it comes, so
        // that `holdStandardError` can stop the child at its next line.
        bool standardErrorHoldable = false;
        // A holdable standard error held from the start: the child waits at its first line to it
        // until `releaseStandardError`.
        bool standardErrorHeldAtStart = false;
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
    // With a holdable standard error: stops copying it and fills its pipe to the brim, so that
    // every thread of the child that writes a line to it waits until `releaseStandardError`, as
    // behind a terminal whose output is suspended. False when the child has ended.
    bool holdStandardError();
    void releaseStandardError();
    void signal(int number);
    // Sends `number` and waits until the child has taken it: it is no longer pending, its handler
    // has been entered (so a second one of the same number is one more, not merged with it).
    // False on time-out or when the child has ended.
    bool signalAndWaitTaken(int number, std::chrono::milliseconds timeout);
    // The exit status, or none when the child did not end in time (it is killed then) or ended by
    // a signal.
    std::optional<int> wait(std::chrono::milliseconds timeout);

private:
    bool reap(bool block);
    // Fills the pipe of `ends` to the brim through its writing end.
    static void fillToTheBrim(const int ends[2]);
    void copyStandardError();
    void endCopying();
    bool waitForText(std::string (ChildProcess::*read)() const, std::string_view needle, std::chrono::milliseconds timeout);

    Options m_options;
    pid_t m_pid = -1;
    std::optional<int> m_waitStatus;
    int m_errorPipe = -1;
    int m_outputPipe = -1;
    // The holdable standard error: its pipe and the thread that copies it, held or not.
    int m_heldPipe = -1;
    std::thread m_copier;
    std::mutex m_copierMutex;
    std::condition_variable m_copierChanged;
    bool m_holding = false;
    bool m_copierWaits = false;
    bool m_copierEnding = false;
    bool m_copierEnded = false;
};

} // namespace lorvantine::test
