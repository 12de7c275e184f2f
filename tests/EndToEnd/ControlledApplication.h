#pragma once

#include "EndToEnd/ChildProcess.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::test {

// The built program in application mode as a child process, driven through its control pipe in
// `directory`: each command waits for its answer line on the program's standard output. Every
// wait is bounded in real time; a failed one answers "timeout".
// The environment of the program under test: no sound, the settings in a file of its own
// (written to `settingsFile` first), an update check that reaches nothing.
std::map<std::string, std::optional<std::string>> applicationEnvironment(const std::filesystem::path& settingsFile,
                                                                         const nlohmann::json& settings);

class ControlledApplication {
public:
    // `holdableStandardError`: see ChildProcess::Options::standardErrorHoldable.
    ControlledApplication(const std::filesystem::path& directory, std::vector<std::string> arguments,
                          std::map<std::string, std::optional<std::string>> environment, bool holdableStandardError = false);

    bool ready() const { return m_ready; }
    // Sends one line and answers the program's answer to it.
    std::string command(const std::string& line, std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // The program's own windows on screen, from "windows".
    std::vector<nlohmann::json> programWindows();
    ChildProcess& process() { return *m_child; }
    const std::filesystem::path& pipe() const { return m_pipe; }

private:
    std::filesystem::path m_pipe;
    std::unique_ptr<ChildProcess> m_child;
    size_t m_answered = 0;
    bool m_ready = false;
};

} // namespace lorvantine::test
