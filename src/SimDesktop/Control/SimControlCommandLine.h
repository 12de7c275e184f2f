#pragma once

#include "Platform/Services.h"

#include <iosfwd>
#include <string>
#include <vector>

// lorvantine-desktop's command line: its own commands (DesktopCommands) and, for anything else,
// the words of the application's control channel, read by the same parser, so that a person
// drives a shared desktop as the control pipe is driven:
//
//     lorvantine-desktop key escape command · scroll 400 300 -3 · front com.apple.TextEdit ·
//     press "Open System Settings"
//
// Each argument is one word of the line (one holding spaces is one text). The answer is the
// control channel's line: "ok…" on `out` (status 0) or "error…" on `err` (status 1). Commands
// that change the desktop's own settings or draw its screen (trust, input-monitoring, snapshot
// PATH, quit) are the control channel's only (status 2). Stateless; runs on the calling thread.
namespace lorvantine::SimControlCommandLine {

int run(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out, std::ostream& err);

} // namespace lorvantine::SimControlCommandLine
