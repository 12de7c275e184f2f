#pragma once

#include "Platform/EventMonitorPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// Event monitors and listen-only taps of the desktop server, for the application this
// connection registered (its own events are local, the others' global). Add and remove from the
// main thread; handlers run on the main queue in posting order, never after their removal has
// returned. A local handler's answer is not sent back: the desktop delivers the program's own
// events to its windows itself. Without an answer no monitor or tap can be made.
class RemoteEventMonitor : public EventMonitorPort {
public:
    explicit RemoteEventMonitor(std::shared_ptr<RemoteDesktop> desktop);
    std::optional<EventMonitorID> addGlobalMonitor(EventTypeMask mask,
                                                   std::function<void(const MonitoredEvent&)> handler) override;
    std::optional<EventMonitorID> addLocalMonitor(EventTypeMask mask, LocalHandler handler) override;
    void removeMonitor(EventMonitorID monitor) override;
    std::optional<EventTapID> createListenOnlyTap(EventTypeMask mask, std::function<void(const MonitoredEvent&)> onEvent,
                                                 std::function<void(EventTapDisabledReason)> onDisabled) override;
    void setTapEnabled(EventTapID tap, bool enabled) override;
    bool isTapEnabled(EventTapID tap) override;
    void removeTap(EventTapID tap) override;

private:
    std::optional<uint64_t> open(const char* op, EventTypeMask mask, std::function<void(const MonitoredEvent&)> onEvent,
                                 std::function<void(EventTapDisabledReason)> onDisabled);
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
