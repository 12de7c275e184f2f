#pragma once

#include "Platform/Services.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

// The commands a person gives a shared desktop from the command line (lorvantine-desktop):
//
//     windows                      the window list, front to back
//     apps                         the running applications
//     click X Y [COUNT]            a left click (COUNT clicks in a row) at global top-left points
//     drag X1 Y1 X2 Y2             a press, a drag and a release
//     key CODE [cmd|shift|alt|ctrl]...   a key (virtual key code) pressed and released
//     activate PID                 brings an application to the front
//     snapshot WINDOW PATH         a PNG of one window
//
// Events are posted at the HID tap without a source, as the user's own hand. Stateless; runs on
// the calling thread against the ports given. The tool reads anything else as a line of the
// control channel's words (SimControlCommandLine).
namespace lorvantine::DesktopCommands {

// The exit status: 0 done, 1 the desktop refused, 2 a command that does not read (with the
// usage on `err`).
int run(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out, std::ostream& err);
// The same, except that arguments that are none of these commands give none, with nothing done
// and nothing written.
std::optional<int> runIfKnown(const std::vector<std::string>& args, const PlatformServices& ports, std::ostream& out,
                              std::ostream& err);

} // namespace lorvantine::DesktopCommands
