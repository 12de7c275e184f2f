#include "Platform/Dispatch/SerialQueue.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/QueueScope.h"
#include "Platform/Dispatch/ThreadPool.h"

namespace lorvantine {

namespace {
// Items run per pool job before the queue yields its thread to other work.
constexpr int batchSize = 32;
} // namespace

void SerialQueue::async(std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back(std::move(work));
        if (m_draining)
            return;
        m_draining = true;
    }
    Activity::add(+1);
    ThreadPool::shared().submit([self = shared_from_this()] { self->drain(); });
}

void SerialQueue::drain()
{
    QueueScope scope(this);
    for (int ran = 0;; ++ran) {
        std::function<void()> work;
        {
            std::lock_guard lock(m_mutex);
            if (m_items.empty()) {
                m_draining = false;
                break;
            }
            if (ran == batchSize) {
                ThreadPool::shared().submit([self = shared_from_this()] { self->drain(); });
                return;
            }
            work = std::move(m_items.front());
            m_items.pop_front();
        }
        work();
    }
    Activity::add(-1);
}

bool SerialQueue::isCurrent() const { return QueueScope::current() == this; }

} // namespace lorvantine
