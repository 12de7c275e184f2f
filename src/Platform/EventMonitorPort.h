#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Platform/WindowServerPort.h"

#include <cstdint>
#include <functional>
#include <optional>

namespace lorvantine {

// Which event types a monitor or tap wants: one bit per `InputEventType`.
using EventTypeMask = uint32_t;
constexpr EventTypeMask eventTypeMask(InputEventType type) { return EventTypeMask(1) << static_cast<unsigned>(type); }

// An input event as a monitor or a tap sees it: a copy, never a live handle into the backend.
struct MonitoredEvent {
    InputEventType type = InputEventType::mouseMoved;
    // Where the pointer was when the event happened, in both of the platform's spaces: `location`
    // as the event tap gives it (top-left of the primary screen, y downward) and `screenLocation`
    // as the toolkit gives it (bottom-left of the primary screen, y upward). Keys carry the pointer.
    Point location;
    Point screenLocation;
    uint16_t keyCode = 0;
    uint64_t modifierFlags = 0; // `EventFlags` masks
    int64_t clickCount = 0;
    ScrollUnit scrollUnit = ScrollUnit::line;
    int32_t scrollDeltaY = 0;
    int32_t scrollDeltaX = 0;
    // The source the poster created the event from; none for the user's own hand (and for
    // synthetic events created without a source).
    std::optional<EventSourceState> source;
    // Local events: the program's window the event goes to (0 for keys, which go to the program
    // as a whole).
    uint32_t windowNumber = 0;
    friend bool operator==(const MonitoredEvent&, const MonitoredEvent&) = default;
};

using EventMonitorID = uint64_t;
using EventTapID = uint64_t;

// Why the system switched a tap off; the tap stays installed and may be enabled again.
enum class EventTapDisabledReason { timeout, userInput };

// Watching the user's input: the toolkit's global and local event monitors and a listen-only
// event tap at the session level.
//
// Threads: add, remove and enable from the main thread; every handler is called on the main
// queue, events in the order they were posted. Once `removeMonitor` or `removeTap` has returned,
// the handler is never called again (events already queued for it are dropped), so a handler
// may capture its owner weakly and be removed in the owner's destructor.
//
// Routing, as on the platform: an event goes to the application it is for (the one whose window
// is under the pointer, or that took the press for drags and releases; the frontmost one for
// keys). Global monitors see events for other applications, and only while Input Monitoring is
// granted; local monitors see the program's own events only. A session tap sees every event
// posted at the HID or the session tap, whatever it is for. Events posted to a process are seen
// by neither.
class EventMonitorPort {
public:
    virtual ~EventMonitorPort() = default;

    // None when the system refuses the monitor.
    virtual std::optional<EventMonitorID> addGlobalMonitor(EventTypeMask mask,
                                                           std::function<void(const MonitoredEvent&)> handler) = 0;
    // The handler sees the program's events before the program handles them and returns the event
    // to pass on, or none to swallow it.
    using LocalHandler = std::function<std::optional<MonitoredEvent>(const MonitoredEvent&)>;
    virtual std::optional<EventMonitorID> addLocalMonitor(EventTypeMask mask, LocalHandler handler) = 0;
    // Unknown ids are ignored.
    virtual void removeMonitor(EventMonitorID monitor) = 0;

    // A listen-only tap, enabled at creation. None when it cannot be created (the process lacks
    // Input Monitoring, or the system refuses). The system may switch it off (it was slow, or the
    // user's secure input took over): `onDisabled` is then called and no events arrive until the
    // owner enables it again.
    virtual std::optional<EventTapID> createListenOnlyTap(EventTypeMask mask,
                                                         std::function<void(const MonitoredEvent&)> onEvent,
                                                         std::function<void(EventTapDisabledReason)> onDisabled) = 0;
    virtual void setTapEnabled(EventTapID tap, bool enabled) = 0;
    // False for an unknown or removed tap.
    virtual bool isTapEnabled(EventTapID tap) = 0;
    virtual void removeTap(EventTapID tap) = 0;
};

} // namespace lorvantine
