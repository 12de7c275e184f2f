#include "Overlay/ScrollWheelMonitor.h"

#include "Platform/Dispatch/MainQueue.h"

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

} // namespace

std::shared_ptr<void> addGlobal(std::function<void(const ScrollWheelEvent&)> handler)
{
    MainQueue::requireMainThread("ScrollWheelMonitor::addGlobal");
    const uint64_t id = s_nextId++;
    handlers().emplace(id, std::move(handler));
    return std::shared_ptr<void>(nullptr, [id](void*) { handlers().erase(id); });
}

void deliver(const ScrollWheelEvent& event)
{
    MainQueue::requireMainThread("ScrollWheelMonitor::deliver");
    // A handler may add or remove monitors; each one present at the start hears the event once.
    std::vector<uint64_t> ids;
    for (const auto& [id, handler] : handlers())
        ids.push_back(id);
    for (uint64_t id : ids) {
        auto it = handlers().find(id);
        if (it == handlers().end())
            continue;
        auto handler = it->second;
        if (handler)
            handler(event);
    }
}

} // namespace lorvantine::ScrollWheelMonitor
