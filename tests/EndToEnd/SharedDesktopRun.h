#pragma once

#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::test {

// The whole cast of an end-to-end run, each a child process in a directory of its own under one
// scratch directory: `lorvantine-desktop-server` serving a fixture desktop (its socket in
// "server/"), the stand-in speech server, and the program in application mode on that desktop
// ("program/", its standard error the log a runner reads). Runners then start against the same
// desktop in "runner/", their current directory, where they write their reports.
//
// Every wait is bounded in real time; a failed step leaves the run not ready with the reason in
// `failure()`. Destruction stops the runner, the program, the speech server and the desktop
// server, in that order.
class SharedDesktopRun {
public:
    explicit SharedDesktopRun(const std::filesystem::path& fixture);
    ~SharedDesktopRun();
    SharedDesktopRun(const SharedDesktopRun&) = delete;
    SharedDesktopRun& operator=(const SharedDesktopRun&) = delete;

    bool ready() const { return m_failure.empty(); }
    const std::string& failure() const { return m_failure; }

    const std::filesystem::path& socket() const { return m_socket; }
    // The program's standard error.
    std::filesystem::path programLog() const { return m_directory / "program" / "stderr"; }
    // The runners' current directory.
    std::filesystem::path runnerDirectory() const { return m_directory / "runner"; }
    // Copies `file` to `relative` in the runners' directory, as it lies relative to the root of
    // the source tree (a configuration names its fixtures so).
    void stage(const std::filesystem::path& relative) const;
    // Environment of a process that is to use the served desktop instead of a local one.
    std::map<std::string, std::optional<std::string>> desktopEnvironment() const;

    struct Outcome {
        std::optional<int> status; // none: killed at the time limit, or ended by a signal
        std::string err;
    };
    // `lorvantine <arguments>` in the runners' directory on the served desktop, to its end.
    Outcome runProgram(const std::vector<std::string>& arguments, std::chrono::seconds limit);

    ControlledApplication& program() { return *m_program; }
    SpeechServerProcess& speech() { return *m_speech; }

private:
    void start(const std::filesystem::path& fixture);

    ScratchDirectory m_scratch;
    const std::filesystem::path m_directory;
    std::filesystem::path m_socket;
    std::string m_failure;
    std::unique_ptr<ChildProcess> m_server;
    std::unique_ptr<SpeechServerProcess> m_speech;
    std::unique_ptr<ControlledApplication> m_program;
};

} // namespace lorvantine::test
