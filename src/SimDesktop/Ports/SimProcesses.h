#pragma once

#include "Platform/ProcessPort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// The programs of a simulated desktop. "/usr/bin/open" and "/usr/bin/osascript" are answered by
// the desktop itself (this machine's programs of those names never run):
//   open -b <bundleID> [file…] · open -a <name or bundle path> [file…] · open <file or URL>…
// launches the installed application (after its launch delay, on the installed clock) or finds it
// running, brings it to the front and opens each file in a document window titled with the file's
// name; a URL goes to the application of its scheme. osascript -e <line> [-e <line>…] and
// osascript <script file> [arguments] run the SimAppleScript subset (arguments are not used);
// a script error is status 1 with the message on standard error. A file handed to either is read
// only when it is a regular file of at most 64 MiB; any other (a pipe, a device, a larger file) is
// refused with status 1 and the reason, before anything is launched. Every run is journaled as a
// "process" entry. Any other program cannot be started. The controlling terminal is the tab the
// fixture marks as the program's own. Callable from any thread.
class SimProcesses final : public ProcessPort {
public:
    explicit SimProcesses(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    Expected<ProcessOutcome, std::string> run(const std::string& program, const std::vector<std::string>& arguments) override;
    std::optional<std::string> controllingTerminal() override;

private:
    ProcessOutcome open(const std::vector<std::string>& arguments);
    ProcessOutcome osascript(const std::vector<std::string>& arguments);

    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
