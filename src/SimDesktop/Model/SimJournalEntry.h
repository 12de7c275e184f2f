#pragma once

#include "Platform/AXTypes.h"
#include "Platform/WindowServerPort.h"

#include <optional>
#include <string>

namespace lorvantine {

// One thing the program did to the desktop, kept in order for tests to assert on.
struct SimJournalEntry {
    enum class Kind {
        event,        // `event`, posted at `tap` or to `pid`
        action,       // `name` performed on `element`
        setAttribute, // `name` set to `value` on `element`
        activate,     // `pid` asked to come to the front
        terminate,    // `pid` asked to quit
        appleScript,  // `name` holds the source
        trustPrompt,  // the program asked for Accessibility trust with a prompt
        inputMonitoringRequest,
        reaction,     // an application's behaviour `name` reacted to `event`: on `element`, with `value`
        process,      // the program ran `name` with the arguments in `value` (a string list)
    };

    Kind kind = Kind::event;
    std::optional<InputEvent> event;
    std::optional<EventTap> tap; // none when posted to a process
    ProcessID pid = 0;
    AXElement element;
    std::string name;
    AXValue value;
    AXError result = AXError::success;
};

} // namespace lorvantine
