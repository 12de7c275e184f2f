#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Scheduler.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace lorvantine {

// Runs each test with a fresh manual clock installed, and leaves every queue idle afterwards with
// nothing scheduled (every manual clock starts at the same time: what one test left scheduled
// would fire in the next).
class ManualClockTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        clock = std::make_shared<ManualClock>();
        previous = Clock::install(clock);
        start = clock->now();
    }

    void TearDown() override
    {
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        Dispatch::discardDelayedWork();
        Clock::install(previous);
    }

    double elapsed() const { return toSeconds(clock->now() - start); }

    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<Clock> previous;
    TimePoint start;
};

// Moves `clock` on by `d` from each moment something is due to the next, as the main run loop
// wakes for them, and counts the moments at which main-queue work ran: how often a program left
// alone would be woken. Main thread only.
inline int mainWakesOver(ManualClock& clock, Duration d)
{
    const TimePoint end = clock.now() + d;
    int wakes = 0;
    for (;;) {
        std::optional<TimePoint> next = Scheduler::shared().nextDeadline();
        if (!next || *next > end)
            break;
        clock.set(*next);
        Scheduler::shared().fireDue();
        if (RunLoop::runPending() > 0)
            ++wakes;
        else if (*next <= clock.now() && Scheduler::shared().nextDeadline() == next)
            break; // nothing moves: do not spin
        EXPECT_TRUE(Dispatch::waitUntilIdle());
    }
    clock.set(end);
    return wakes;
}

// Spins (yielding, for at most a second of real time) until `condition` holds.
template<typename Condition>
bool eventually(Condition condition)
{
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > limit)
            return false;
        std::this_thread::yield();
    }
    return true;
}

} // namespace lorvantine
