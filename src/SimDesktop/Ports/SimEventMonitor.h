#pragma once

#include "Platform/AXTypes.h"
#include "Platform/EventMonitorPort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// Event monitors and taps over a simulated desktop, for the process `pid` (this one by default):
// events posted through the window server are routed by SimInputRouting and delivered by
// SimDesktop on the main queue. A tap cannot be created while Input Monitoring is not granted or
// the fixture says taps cannot be created; `SimDesktop::disableEventTaps` switches taps off as the
// system does. A local handler's answer is not used: the program's windows get their mouse events
// from the desktop directly (SimToolkitRouter), after the local monitors have heard them.
class SimEventMonitor final : public EventMonitorPort {
public:
    explicit SimEventMonitor(std::shared_ptr<SimDesktop> desktop);
    SimEventMonitor(std::shared_ptr<SimDesktop> desktop, ProcessID pid) : m_desktop(std::move(desktop)), m_pid(pid) {}

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
    std::shared_ptr<SimDesktop> m_desktop;
    ProcessID m_pid = 0;
};

} // namespace lorvantine
