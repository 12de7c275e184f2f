#include "Platform/GlobalQueue.h"

#include "Platform/Activity.h"
#include "Platform/QueueScope.h"
#include "Platform/ThreadPool.h"

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
