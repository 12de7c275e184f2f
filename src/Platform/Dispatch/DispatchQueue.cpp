#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/GlobalQueue.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Dispatch/Scheduler.h"
#include "Platform/Dispatch/SerialQueue.h"
#include "Support/Log.h"

#include <array>
#include <cstdlib>

namespace lorvantine {

void WorkItem::cancel()
{
    if (m_state)
        Scheduler::shared().cancel(*m_state);
}

bool WorkItem::isCancelled() const { return m_state && m_state->cancelled.load(); }

DispatchQueue& DispatchQueue::main()
{
    MainQueue::claimMainThread();
    return MainQueue::shared();
}

DispatchQueue& DispatchQueue::global(QualityOfService qos)
{
    static auto* queues = new std::array<GlobalQueue, 5> { {
        GlobalQueue("global.userInteractive"),
        GlobalQueue("global.userInitiated"),
        GlobalQueue("global.default"),
        GlobalQueue("global.utility"),
        GlobalQueue("global.background"),
    } };
    auto index = static_cast<size_t>(qos);
    return (*queues)[index < queues->size() ? index : 2];
}

std::shared_ptr<DispatchQueue> DispatchQueue::makeSerial(std::string label)
{
    return std::make_shared<SerialQueue>(std::move(label));
}

WorkItem DispatchQueue::asyncAfter(Duration delay, std::function<void()> work)
{
    std::shared_ptr<DispatchQueue> keep;
    if (auto* serial = dynamic_cast<SerialQueue*>(this))
        keep = serial->weak_from_this().lock();
    return Scheduler::shared().add(Clock::current().now() + delay, *this, std::move(keep), std::move(work));
}

void DispatchQueue::sync(const std::function<void()>& work)
{
    if (this == &MainQueue::shared() && MainQueue::isMainThread()) {
        work();
        return;
    }
    if (isCurrent() && !dynamic_cast<GlobalQueue*>(this)) {
        Log::line("[Dispatch] sync onto queue \"" + label() + "\" from that queue itself would deadlock");
        std::abort();
    }
    Semaphore done(0);
    async([&] {
        work();
        done.signal();
    });
    done.wait();
}

} // namespace lorvantine
