#include "SimDesktop/Ports/SimEventMonitor.h"

#include "SimDesktop/SimDesktop.h"

#include <unistd.h>

namespace lorvantine {

SimEventMonitor::SimEventMonitor(std::shared_ptr<SimDesktop> desktop)
    : m_desktop(std::move(desktop))
    , m_pid(static_cast<ProcessID>(getpid()))
{
}

std::optional<EventMonitorID> SimEventMonitor::addGlobalMonitor(EventTypeMask mask,
                                                                std::function<void(const MonitoredEvent&)> handler)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<EventMonitorID> {
        const uint64_t id = m.nextEventMonitor++;
        m.eventMonitors[id] = { .kind = SimModel::EventMonitor::Kind::global, .pid = m_pid, .mask = mask,
                                .onEvent = std::move(handler) };
        return id;
    });
}

std::optional<EventMonitorID> SimEventMonitor::addLocalMonitor(EventTypeMask mask, LocalHandler handler)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<EventMonitorID> {
        const uint64_t id = m.nextEventMonitor++;
        m.eventMonitors[id] = { .kind = SimModel::EventMonitor::Kind::local, .pid = m_pid, .mask = mask,
                                .onLocalEvent = std::move(handler) };
        return id;
    });
}

void SimEventMonitor::removeMonitor(EventMonitorID monitor)
{
    m_desktop->withModel([&](SimModel& m) {
        auto it = m.eventMonitors.find(monitor);
        if (it != m.eventMonitors.end() && it->second.kind != SimModel::EventMonitor::Kind::tap)
            m.eventMonitors.erase(it);
    });
}

std::optional<EventTapID> SimEventMonitor::createListenOnlyTap(EventTypeMask mask,
                                                              std::function<void(const MonitoredEvent&)> onEvent,
                                                              std::function<void(EventTapDisabledReason)> onDisabled)
{
    return m_desktop->withModel([&](SimModel& m) -> std::optional<EventTapID> {
        if (!m.eventTapsAvailable || m.inputMonitoring != InputMonitoringAccess::granted)
            return std::nullopt;
        const uint64_t id = m.nextEventMonitor++;
        m.eventMonitors[id] = { .kind = SimModel::EventMonitor::Kind::tap, .pid = m_pid, .mask = mask,
                                .onEvent = std::move(onEvent), .onDisabled = std::move(onDisabled) };
        return id;
    });
}

void SimEventMonitor::setTapEnabled(EventTapID tap, bool enabled)
{
    m_desktop->withModel([&](SimModel& m) {
        auto it = m.eventMonitors.find(tap);
        if (it != m.eventMonitors.end() && it->second.kind == SimModel::EventMonitor::Kind::tap)
            it->second.enabled = enabled;
    });
}

bool SimEventMonitor::isTapEnabled(EventTapID tap)
{
    return m_desktop->withModel([&](SimModel& m) {
        auto it = m.eventMonitors.find(tap);
        return it != m.eventMonitors.end() && it->second.kind == SimModel::EventMonitor::Kind::tap && it->second.enabled;
    });
}

void SimEventMonitor::removeTap(EventTapID tap)
{
    m_desktop->withModel([&](SimModel& m) {
        auto it = m.eventMonitors.find(tap);
        if (it != m.eventMonitors.end() && it->second.kind == SimModel::EventMonitor::Kind::tap)
            m.eventMonitors.erase(it);
    });
}

} // namespace lorvantine
