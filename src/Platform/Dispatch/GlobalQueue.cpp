#include "Platform/Dispatch/GlobalQueue.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/QueueScope.h"
#include "Platform/Dispatch/ThreadPool.h"

namespace lorvantine {

void GlobalQueue::async(std::function<void()> work)
{
    Activity::add(+1);
    ThreadPool::shared().submit([this, work = std::move(work)]() mutable {
        {
            QueueScope scope(this);
            work();
            work = nullptr;
        }
        Activity::add(-1);
    });
}

bool GlobalQueue::isCurrent() const { return QueueScope::current() == this; }

} // namespace lorvantine
