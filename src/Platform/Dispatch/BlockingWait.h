#pragma once

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/Scheduler.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <optional>

namespace lorvantine {

// Parks the calling thread on `state` (which has `mutex`, locked by `lock`, and a `waiters` list
// that the waking side pops, setting `finished`) until it is woken or, with a timeout, until the
// installed clock passes the deadline. Returns whether it was woken.
template<typename State>
bool blockingWait(const std::shared_ptr<State>& state, std::unique_lock<std::mutex>& lock, std::optional<Duration> timeout)
{
    if (timeout && *timeout <= Duration::zero())
        return false;
    auto waiter = std::make_shared<Activity::Waiter>();
    state->waiters.push_back(waiter);
    // The time-out is registered before this thread counts as idle, or `Dispatch::advance` could
    // step past a deadline it has not yet seen.
    WorkItem timer;
    if (timeout) {
        timer = Scheduler::shared().addInline(Clock::current().now() + *timeout, [weakState = std::weak_ptr<State>(state), waiter] {
            auto locked = weakState.lock();
            if (!locked)
                return;
            std::lock_guard timeoutLock(locked->mutex);
            if (waiter->finished || waiter->timedOut)
                return;
            waiter->timedOut = true;
            auto& waiters = locked->waiters;
            waiters.erase(std::remove(waiters.begin(), waiters.end(), waiter), waiters.end());
            Activity::resume(waiter->mark);
            waiter->wakeup.notify_one();
        });
    }
    Activity::beginWait(waiter->mark);
    waiter->wakeup.wait(lock, [&] { return waiter->finished || waiter->timedOut; });
    Activity::resume(waiter->mark);
    if (timer) {
        lock.unlock();
        timer.cancel();
        lock.lock();
    }
    return waiter->finished;
}

} // namespace lorvantine
