#pragma once

#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace lorvantine::test {

// What a desktop command line wrote and the status it ended with.
struct DesktopCommandRun {
    int status = 0;
    std::string out, err;
};

using DesktopCommandLine = int (*)(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out,
                                   std::ostream& err);

// Runs a command line (DesktopCommands::run, SimControlCommandLine::run) through `ports`,
// catching what it writes.
inline DesktopCommandRun runDesktopCommand(DesktopCommandLine commandLine, const std::vector<std::string>& args,
                                           const PlatformServices& ports)
{
    std::ostringstream out, err;
    DesktopCommandRun result;
    result.status = commandLine(args, ports, out, err);
    result.out = out.str();
    result.err = err.str();
    return result;
}

// The input events posted on the desktop so far, oldest first.
inline std::vector<InputEvent> postedEvents(const SimDesktop& desktop)
{
    std::vector<InputEvent> events;
    for (const auto& entry : desktop.journal())
        if (entry.kind == SimJournalEntry::Kind::event && entry.event)
            events.push_back(*entry.event);
    return events;
}

} // namespace lorvantine::test
