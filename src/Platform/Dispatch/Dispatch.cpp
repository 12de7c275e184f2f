#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Dispatch/Scheduler.h"
#include "Platform/Dispatch/ThreadPool.h"
#include "Support/Log.h"

#include <algorithm>

namespace lorvantine::Dispatch {

namespace {

using RealTime = std::chrono::steady_clock;

constexpr auto advanceSafetyLimit = std::chrono::seconds(5);

// Fires what is due, lets the background queues finish and runs the main queue, until none of
// the three has anything left. Gives up once `limit` has passed (work that never settles, such
// as main-queue work that keeps re-posting itself).
bool settle(RealTime::time_point limit)
{
    auto& scheduler = Scheduler::shared();
    auto& mainQueue = MainQueue::shared();
    for (;;) {
        scheduler.fireDue();
        bool idle = Activity::waitIdle(limit);
        size_t ran = mainQueue.runPending();
        if (ran == 0 && idle && Activity::isIdle() && !scheduler.hasDue() && mainQueue.isEmpty())
            return true;
        if (RealTime::now() >= limit)
            return false;
    }
}

} // namespace

void advance(ManualClock& clock, Duration d)
{
    MainQueue::requireMainThread("Dispatch::advance");
    if (&clock != &Clock::current())
        Log::line("[Dispatch] advance: this manual clock is not the installed clock; delayed work follows the installed one");
    const auto limit = RealTime::now() + advanceSafetyLimit;
    bool warned = false;
    auto step = [&] {
        if (!settle(limit) && !warned) {
            warned = true;
            Log::line("[Dispatch] advance: work still running after 5 s; stepping on without waiting for it");
        }
    };
    const TimePoint target = clock.now() + std::max(d, Duration::zero());
    step();
    for (;;) {
        std::optional<TimePoint> next = Scheduler::shared().nextDeadline();
        if (auto sleeper = clock.nextSleepDeadline(); sleeper && (!next || *sleeper < *next))
            next = sleeper;
        if (!next || *next > target)
            break;
        if (*next <= clock.now() && warned)
            break; // work that keeps re-posting itself at the same instant: do not spin forever
        clock.set(*next);
        step();
    }
    clock.set(target);
    step();
}

bool waitUntilIdle(std::chrono::milliseconds timeout)
{
    MainQueue::requireMainThread("Dispatch::waitUntilIdle");
    return settle(RealTime::now() + timeout);
}

bool shutdown(std::chrono::milliseconds timeout)
{
    MainQueue::requireMainThread("Dispatch::shutdown");
    const auto limit = RealTime::now() + timeout;
    // Delayed work first, so that none of it reaches the pool once the pool has been emptied.
    Scheduler::shared().close();
    return ThreadPool::shared().closeAndWait(limit);
}

} // namespace lorvantine::Dispatch
