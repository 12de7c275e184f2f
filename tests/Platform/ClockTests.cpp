#include "TestSupport/ManualClockTest.h"

#include <atomic>
#include <thread>

namespace lorvantine {
namespace {

TEST(ManualClock, StartsAtTheSameNonZeroTimeAndOnlyMovesForward)
{
    ManualClock a;
    ManualClock b;
    EXPECT_EQ(a.now(), b.now());
    EXPECT_GT(a.now().time_since_epoch(), Duration::zero());

    TimePoint t0 = a.now();
    a.advance(seconds(1.5));
    EXPECT_EQ(a.now(), t0 + seconds(1.5));
    a.set(t0);
    a.advance(seconds(-3));
    EXPECT_EQ(a.now(), t0 + seconds(1.5));
    a.set(t0 + seconds(4));
    EXPECT_EQ(a.now(), t0 + seconds(4));
}

TEST(ManualClock, SleeperWakesOnlyOnceTheClockReachesItsDeadline)
{
    ManualClock clock;
    TimePoint t0 = clock.now();
    std::atomic<bool> woke { false };
    std::thread sleeper([&] {
        clock.sleep(seconds(2));
        woke = true;
    });
    ASSERT_TRUE(eventually([&] { return clock.nextSleepDeadline().has_value(); }));
    EXPECT_EQ(*clock.nextSleepDeadline(), t0 + seconds(2));

    clock.advance(seconds(1.999));
    EXPECT_TRUE(clock.nextSleepDeadline().has_value()); // still asleep
    EXPECT_FALSE(woke);

    clock.advance(seconds(0.001));
    sleeper.join();
    EXPECT_TRUE(woke);
    EXPECT_FALSE(clock.nextSleepDeadline().has_value());

    // Sleeping until the past returns at once.
    clock.sleepUntil(clock.now());
    clock.sleep(seconds(-1));
    EXPECT_FALSE(clock.nextSleepDeadline().has_value());
}

TEST(ManualClock, AMainThreadSleepCanMoveTheClockAndWakeWhatIsDueOnTheWay)
{
    RunLoop::adoptCurrentThreadAsMain();
    ManualClock clock;
    const TimePoint t0 = clock.now();
    std::atomic<bool> woke { false };
    std::thread worker([&] {
        clock.sleep(seconds(0.1));
        woke = true;
    });
    ASSERT_TRUE(eventually([&] { return clock.nextSleepDeadline().has_value(); }));

    clock.setMainThreadSleepsAdvance(true);
    clock.sleep(seconds(0.25));
    EXPECT_EQ(clock.now(), t0 + seconds(0.25));
    worker.join();
    EXPECT_TRUE(woke);

    // Other threads still wait for someone to move the clock.
    std::atomic<bool> late { false };
    std::thread other([&] {
        clock.sleep(seconds(1));
        late = true;
    });
    ASSERT_TRUE(eventually([&] { return clock.nextSleepDeadline().has_value(); }));
    EXPECT_FALSE(late);
    clock.advance(seconds(1));
    other.join();
    EXPECT_TRUE(late);
}

TEST(ManualClock, ListenersHearEveryMoveUntilTheirTokenIsGone)
{
    ManualClock clock;
    int heard = 0;
    auto token = clock.addAdvanceListener([&] { ++heard; });
    ASSERT_TRUE(token);
    clock.advance(seconds(1));
    clock.set(clock.now() + seconds(1));
    clock.set(clock.now()); // no move
    clock.advance(Duration::zero());
    EXPECT_EQ(heard, 2);
    token.reset();
    clock.advance(seconds(1));
    EXPECT_EQ(heard, 2);
}

TEST(ManualClock, DestroyingTheClockReleasesItsSleepers)
{
    auto clock = std::make_unique<ManualClock>();
    std::thread sleeper([&clock] { clock->sleep(seconds(10)); });
    ASSERT_TRUE(eventually([&] { return clock->nextSleepDeadline().has_value(); }));
    clock.reset();
    sleeper.join();
}

TEST(Clock, InstallSwapsTheProcessClockAndReturnsThePreviousOne)
{
    auto manual = std::make_shared<ManualClock>();
    auto previous = Clock::install(manual);
    ASSERT_TRUE(previous);
    EXPECT_EQ(&Clock::current(), manual.get());
    manual->advance(seconds(3));
    EXPECT_EQ(Clock::current().now(), manual->now());

    auto back = Clock::install(previous);
    EXPECT_EQ(back, manual);
    EXPECT_EQ(&Clock::current(), previous.get());

    // Installing nothing falls back on a steady clock rather than leaving no clock.
    auto replaced = Clock::install(nullptr);
    EXPECT_EQ(replaced, previous);
    EXPECT_NE(dynamic_cast<SteadyClock*>(&Clock::current()), nullptr);
    Clock::install(previous);
}

} // namespace
} // namespace lorvantine
