#pragma once

#include "SimDesktop/Ports/SimAppleScript.h"

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

class SimDesktop;

// Runs scripts of the SimAppleScript subset against a simulated desktop, as the in-process
// AppleScript and the "osascript" program do: the script is journaled whole, then its activations
// and keys as they happen. `delay` and the launch of an application that was not running sleep
// the calling thread on the installed clock. Callable from any thread.
class SimAppleScriptRunner {
public:
    explicit SimAppleScriptRunner(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    // The script's result (always empty text), or none with the script error in `error`.
    std::optional<std::string> run(const std::string& source, std::string& error);

private:
    enum class Flow { next, stop, failed };
    struct Scope {
        std::string application;         // the application told, by name
        std::string process;             // the process System Events is told about
        std::map<std::string, uint32_t> windows; // loop variables: windows and tabs (a tab is its window)
    };

    Flow runBlock(const std::vector<SimAppleScript::Statement>& body, Scope scope, std::string& error);
    Flow runStatement(const SimAppleScript::Statement& statement, Scope& scope, std::string& error);
    Flow activate(const std::string& bundleID, std::string& error);
    Flow repeat(const SimAppleScript::Statement& statement, const Scope& scope, std::string& error);
    std::optional<bool> holds(const SimAppleScript::Condition& condition, const Scope& scope, std::string& error);

    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
