#include "Platform/Backends/RemoteEventMonitor.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace Wire = DesktopWire;

RemoteEventMonitor::RemoteEventMonitor(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

std::optional<uint64_t> RemoteEventMonitor::open(const char* op, EventTypeMask mask,
                                                 std::function<void(const MonitoredEvent&)> onEvent,
                                                 std::function<void(EventTapDisabledReason)> onDisabled)
{
    uint64_t channel = m_desktop->openChannel(
        [onEvent = std::move(onEvent), onDisabled = std::move(onDisabled)](const nlohmann::json& message) {
            if (const nlohmann::json* event = Wire::member(message, "event")) {
                if (auto read = Wire::readMonitoredEvent(*event))
                    onEvent(*read);
            } else if (auto reason = Wire::integer(message, "disabled"); reason && onDisabled) {
                onDisabled(*reason == 0 ? EventTapDisabledReason::timeout : EventTapDisabledReason::userInput);
            }
        });
    const nlohmann::json request = { { "op", op }, { "channel", channel }, { "mask", mask } };
    auto answer = m_desktop->call(request);
    if (answer && answer->is_boolean() && answer->get<bool>()) {
        m_desktop->keep(channel, "open", request);
        return channel;
    }
    m_desktop->closeChannel(channel);
    return std::nullopt;
}

std::optional<EventMonitorID> RemoteEventMonitor::addGlobalMonitor(EventTypeMask mask,
                                                                   std::function<void(const MonitoredEvent&)> handler)
{
    return open("em.global", mask, std::move(handler), nullptr);
}

std::optional<EventMonitorID> RemoteEventMonitor::addLocalMonitor(EventTypeMask mask, LocalHandler handler)
{
    return open("em.local", mask, [handler = std::move(handler)](const MonitoredEvent& event) { (void)handler(event); },
                nullptr);
}

void RemoteEventMonitor::removeMonitor(EventMonitorID monitor)
{
    m_desktop->closeChannel(monitor);
    m_desktop->call({ { "op", "em.remove" }, { "channel", monitor } });
}

std::optional<EventTapID> RemoteEventMonitor::createListenOnlyTap(EventTypeMask mask,
                                                                  std::function<void(const MonitoredEvent&)> onEvent,
                                                                  std::function<void(EventTapDisabledReason)> onDisabled)
{
    return open("em.tap", mask, std::move(onEvent), std::move(onDisabled));
}

void RemoteEventMonitor::setTapEnabled(EventTapID tap, bool enabled)
{
    const nlohmann::json request = { { "op", "em.enableTap" }, { "channel", tap }, { "enabled", enabled } };
    m_desktop->keep(tap, "enabled", request);
    m_desktop->call(request);
}

bool RemoteEventMonitor::isTapEnabled(EventTapID tap)
{
    auto answer = m_desktop->call({ { "op", "em.isTapEnabled" }, { "channel", tap } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

void RemoteEventMonitor::removeTap(EventTapID tap)
{
    m_desktop->closeChannel(tap);
    m_desktop->call({ { "op", "em.remove" }, { "channel", tap } });
}

} // namespace lorvantine
