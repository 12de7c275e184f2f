#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/MainQueue.h"

#include <algorithm>
#include <optional>

namespace lorvantine::RunLoop {

namespace {
// The longest the loop sleeps before looking at `done` again, for conditions set without
// posting to the main queue.
constexpr auto pollInterval = std::chrono::milliseconds(5);
} // namespace

bool isMainThread() { return MainQueue::isMainThread(); }

void adoptCurrentThreadAsMain() { MainQueue::adoptCurrentThread(); }

void run()
{
    MainQueue::requireMainThread("RunLoop::run");
    auto& queue = MainQueue::shared();
    while (!queue.consumeStop()) {
        if (!queue.runOne())
            queue.waitForWork(std::nullopt);
    }
}

void stop() { MainQueue::shared().requestStop(); }

size_t runPending()
{
    MainQueue::requireMainThread("RunLoop::runPending");
    return MainQueue::shared().runPending();
}

bool runUntil(const std::function<bool()>& done, Duration timeout, DoneSetBy setBy)
{
    MainQueue::requireMainThread("RunLoop::runUntil");
    auto& queue = MainQueue::shared();
    Clock& clock = Clock::current();
    const TimePoint deadline = clock.now() + timeout;
    // A clock that reports its moves is a manual one; otherwise its time is the steady clock's.
    auto token = clock.addAdvanceListener([] { MainQueue::shared().wake(); });
    for (;;) {
        queue.runPending();
        if (done())
            return true;
        // The stop is left for the `run()` outside: every loop nested in it unwinds on the way.
        if (queue.isStopRequested() || clock.now() >= deadline)
            return false;
        std::optional<std::chrono::steady_clock::time_point> wakeAt;
        if (setBy == DoneSetBy::anyThread)
            wakeAt = std::chrono::steady_clock::now() + pollInterval;
        // A manual clock wakes the loop as it moves; the steady one is woken for at the deadline.
        if (!token)
            wakeAt = wakeAt ? std::min(*wakeAt, deadline) : deadline;
        queue.waitForWork(wakeAt);
    }
}

} // namespace lorvantine::RunLoop
