#pragma once

#include "Platform/EventMonitorPort.h"
#include "SimDesktop/Model/SimModel.h"

#include <optional>

namespace lorvantine {

// Who sees a posted event: the application it is for, and the event monitors and taps that watch
// it (EventMonitorPort's routing). Called with the desktop locked; hands each delivery to the
// model's `onRoutedEvent` as the event is posted.
namespace SimInputRouting {

// The application `event` is for: the owner of the window under the pointer (of the window that
// took the press, for drags and releases), the frontmost application for keys (the open menu's,
// while one is open); 0 for the desktop itself. Remembers presses, and a press on a document
// window brings its application to the front, so call it once per posted event.
ProcessID target(SimModel& model, const InputEvent& event);

// Whether the journaled key event goes to `pid`: posted at a tap while `pid` has the keys
// (`SimModel::keyFocus`), or posted to `pid`.
bool keyReaches(SimModel& model, const SimJournalEntry& entry, ProcessID pid);

// Routes an event posted at `tap`, or to `pid` when there is no tap.
void route(SimModel& model, const InputEvent& event, std::optional<EventTap> tap, ProcessID pid);

// The event as monitors see it, with both of its locations.
MonitoredEvent monitored(const SimModel& model, const InputEvent& event);

} // namespace SimInputRouting
} // namespace lorvantine
