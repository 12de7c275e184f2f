#include "Overlay/ScrollWheelMonitor.h"

#include "Platform/Dispatch/MainQueue.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/Services.h"

#include <cstdint>
#include <map>
#include <vector>

namespace lorvantine::ScrollWheelMonitor {

namespace {

using Handlers = std::map<uint64_t, std::function<void(const ScrollWheelEvent&)>>;

Handlers& handlers()
{
    // Never destroyed: a token may outlive the statics of this file at exit.
    static auto* all = new Handlers;
    return *all;
}

uint64_t s_nextId = 1;

ScrollWheelEvent wheelEventOf(const MonitoredEvent& event)
{
    // A trackpad reports points, a mouse wheel whole lines.
    return ScrollWheelEvent { static_cast<double>(event.scrollDeltaY), event.scrollUnit == ScrollUnit::pixel };
}

void passToHandler(uint64_t id, const ScrollWheelEvent& event)
{
    auto it = handlers().find(id);
    if (it == handlers().end())
        return;
    // A copy: the handler may remove its own monitor.
    auto handler = it->second;
    if (handler)
        handler(event);
}

} // namespace

std::shared_ptr<void> addGlobal(std::function<void(const ScrollWheelEvent&)> handler)
{
    MainQueue::requireMainThread("ScrollWheelMonitor::addGlobal");
    const uint64_t id = s_nextId++;
    handlers().emplace(id, std::move(handler));
    // The person's wheel over the other application comes through the system's own monitor. The
    // port is kept so that the monitor is removed where it was added, whatever is installed then.
    std::shared_ptr<EventMonitorPort> port = Platform::current().eventMonitor;
    std::optional<EventMonitorID> monitor;
    if (port)
        monitor = port->addGlobalMonitor(eventTypeMask(InputEventType::scrollWheel),
                                         [id](const MonitoredEvent& event) { passToHandler(id, wheelEventOf(event)); });
    return std::shared_ptr<void>(nullptr, [id, port, monitor](void*) {
        handlers().erase(id);
        if (port && monitor)
            port->removeMonitor(*monitor);
    });
}

void deliver(const ScrollWheelEvent& event)
{
    MainQueue::requireMainThread("ScrollWheelMonitor::deliver");
    // A handler may add or remove monitors; each one present at the start hears the event once.
    std::vector<uint64_t> ids;
    for (const auto& [id, handler] : handlers())
        ids.push_back(id);
    for (uint64_t id : ids)
        passToHandler(id, event);
}

} // namespace lorvantine::ScrollWheelMonitor
