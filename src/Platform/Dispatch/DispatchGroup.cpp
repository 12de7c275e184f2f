#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/BlockingWait.h"
#include "Platform/Dispatch/SerialQueue.h"
#include "Support/Log.h"

#include <cstdlib>
#include <deque>
#include <mutex>
#include <vector>

namespace lorvantine {

namespace {

struct Notification {
    DispatchQueue* queue = nullptr;
    std::shared_ptr<DispatchQueue> keep;
    std::function<void()> work;
};

std::shared_ptr<DispatchQueue> retainIfSerial(DispatchQueue& queue)
{
    if (auto* serial = dynamic_cast<SerialQueue*>(&queue))
        return serial->weak_from_this().lock();
    return nullptr;
}

} // namespace

struct DispatchGroup::State {
    std::mutex mutex;
    long count = 0;
    std::deque<std::shared_ptr<Activity::Waiter>> waiters;
    std::vector<Notification> notifications;

    static void leave(const std::shared_ptr<State>& state)
    {
        std::vector<Notification> due;
        {
            std::lock_guard lock(state->mutex);
            if (state->count <= 0) {
                Log::line("[Dispatch] DispatchGroup.leave() without a matching enter()");
                std::abort();
            }
            if (--state->count > 0)
                return;
            for (auto& waiter : state->waiters) {
                waiter->finished = true;
                Activity::resume(waiter->mark);
                waiter->wakeup.notify_one();
            }
            state->waiters.clear();
            due = std::move(state->notifications);
            state->notifications.clear();
        }
        for (auto& notification : due)
            notification.queue->async(std::move(notification.work));
    }
};

DispatchGroup::DispatchGroup()
    : m_state(std::make_shared<State>())
{
}

DispatchGroup::~DispatchGroup() = default;

void DispatchGroup::enter()
{
    std::lock_guard lock(m_state->mutex);
    ++m_state->count;
}

void DispatchGroup::leave() { State::leave(m_state); }

void DispatchGroup::async(DispatchQueue& queue, std::function<void()> work)
{
    enter();
    queue.async([state = m_state, work = std::move(work)] {
        work();
        State::leave(state);
    });
}

void DispatchGroup::wait()
{
    auto state = m_state;
    std::unique_lock lock(state->mutex);
    if (state->count > 0)
        blockingWait(state, lock, std::nullopt);
}

bool DispatchGroup::wait(Duration timeout)
{
    auto state = m_state;
    std::unique_lock lock(state->mutex);
    if (state->count == 0)
        return true;
    return blockingWait(state, lock, timeout);
}

void DispatchGroup::notify(DispatchQueue& queue, std::function<void()> work)
{
    {
        std::lock_guard lock(m_state->mutex);
        if (m_state->count > 0) {
            m_state->notifications.push_back({ &queue, retainIfSerial(queue), std::move(work) });
            return;
        }
    }
    queue.async(std::move(work));
}

} // namespace lorvantine
