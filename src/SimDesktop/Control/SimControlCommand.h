#pragma once

#include "Platform/Geometry.h"
#include "Platform/PermissionsPort.h"
#include "Support/Expected.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace lorvantine {

// One line of the application mode's control channel, read. The grammar is a verb and its
// arguments, separated by spaces; a text argument with spaces is written as a JSON string
// ("Open System Settings"). Points are global, top-left, as in the desktop fixtures.
//
//   click X Y [COUNT]            left press and release (COUNT 1-3: double, triple click)
//   drag X1 Y1 X2 Y2             press, drag and release
//   key KEY [MODIFIER...]        KEY: a name, else a virtual key code (0-127); names (a-z, 0-9, escape, return, tab,
//                                space, delete, left, right, up, down, pagedown, pageup);
//                                MODIFIER: shift, control (ctrl), option (alt), command (cmd)
//   scroll X Y LINES             the wheel over a point; positive LINES scroll towards the top
//   front BUNDLE_ID              brings an application to the front
//   trust on|off                 grants or revokes Accessibility trust
//   input-monitoring granted|denied|unknown
//   press TITLE                  performs "AXPress" on the first element titled (or described) so
//   type TEXT                    types the text into the front application, a key a character (a
//                                line feed is Return, a tab Tab)
//   windows                      lists the windows on screen, front to back
//   snapshot PATH                writes a PNG picture of the main screen
//   quit                         ends the application
//
// A value type; parsing never throws and refuses anything else with a message.
struct SimControlCommand {
    enum class Verb { click, drag, key, scroll, front, trust, inputMonitoring, press, type, windows, snapshot, quit };

    Verb verb = Verb::windows;
    Point from;
    Point to;
    int clickCount = 1;
    uint16_t keyCode = 0;
    uint64_t flags = 0;
    int32_t lines = 0;
    bool on = false;
    InputMonitoringAccess access = InputMonitoringAccess::granted;
    // The bundle identifier, the title, the text typed or the path.
    std::string text;

    // Longer lines are refused whole.
    static constexpr size_t maxLineBytes = 1024;

    // `line` without its line feed (a carriage return before it is allowed).
    static Expected<SimControlCommand, std::string> parse(std::string_view line);
};

} // namespace lorvantine
