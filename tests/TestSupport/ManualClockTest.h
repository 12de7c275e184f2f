#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

namespace lorvantine {

// Runs each test with a fresh manual clock installed, and leaves every queue idle afterwards.
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
        Clock::install(previous);
    }

    double elapsed() const { return toSeconds(clock->now() - start); }

    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<Clock> previous;
    TimePoint start;
};

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
