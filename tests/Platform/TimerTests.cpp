#include "TestSupport/ManualClockTest.h"

#include <atomic>
#include <string>
#include <vector>

namespace lorvantine {
namespace {

class TimerTest : public ManualClockTest { };

TEST_F(TimerTest, OneShotFiresOnceThenIsInvalid)
{
    std::vector<double> fired;
    Timer* handed = nullptr;
    auto timer = Timer::scheduled(seconds(1), Timer::Repeats::no, [&](Timer& t) {
        fired.push_back(elapsed());
        handed = &t;
        EXPECT_TRUE(RunLoop::isMainThread());
    });
    EXPECT_TRUE(timer->isValid());
    EXPECT_EQ(timer->interval(), seconds(1));
    Dispatch::advance(*clock, seconds(0.9));
    EXPECT_TRUE(fired.empty());
    Dispatch::advance(*clock, seconds(5));
    EXPECT_EQ(fired, (std::vector<double> { 1.0 }));
    EXPECT_EQ(handed, timer.get());
    EXPECT_FALSE(timer->isValid());
}

TEST_F(TimerTest, RepeatingTimerFiresAtMultiplesOfItsInterval)
{
    std::vector<double> fired;
    auto timer = Timer::scheduled(seconds(0.25), Timer::Repeats::yes, [&](Timer&) { fired.push_back(elapsed()); });
    Dispatch::advance(*clock, seconds(1.1));
    EXPECT_EQ(fired, (std::vector<double> { 0.25, 0.5, 0.75, 1.0 }));
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(fired.size(), 4u);
}

TEST_F(TimerTest, InvalidatedTimerNeverFiresEvenWhenAlreadyDue)
{
    int fires = 0;
    auto timer = Timer::scheduled(seconds(1), Timer::Repeats::yes, [&](Timer&) { ++fires; });
    clock->advance(seconds(1)); // the fire is now waiting on the main queue
    timer->invalidate();
    Dispatch::advance(*clock, seconds(3));
    EXPECT_EQ(fires, 0);
}

TEST_F(TimerTest, InvalidatingFromAnotherThreadStopsIt)
{
    int fires = 0;
    auto timer = Timer::scheduled(seconds(0.1), Timer::Repeats::yes, [&](Timer&) { ++fires; });
    Dispatch::advance(*clock, seconds(0.2));
    DispatchQueue::global().async([timer] { timer->invalidate(); });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(fires, 2);
}

TEST_F(TimerTest, LateTimerSkipsTheFiresItMissed)
{
    std::vector<double> fired;
    auto timer = Timer::scheduled(seconds(1), Timer::Repeats::yes, [&](Timer&) { fired.push_back(elapsed()); });
    clock->advance(seconds(3.5)); // the main loop did not turn for three and a half seconds
    RunLoop::runPending();
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(fired, (std::vector<double> { 3.5, 4.0 }));
    timer->invalidate();
}

TEST_F(TimerTest, TheRunLoopHoldsAValidTimerAndReleasesItOnInvalidation)
{
    int fires = 0;
    // Invalidated inside its own block on the second fire.
    std::weak_ptr<Timer> watch = Timer::scheduled(seconds(0.5), Timer::Repeats::yes, [&](Timer& t) {
        if (++fires == 2)
            t.invalidate();
    });
    EXPECT_FALSE(watch.expired()); // the result was dropped, yet the timer lives on
    Dispatch::advance(*clock, seconds(2));
    EXPECT_EQ(fires, 2);
    EXPECT_TRUE(watch.expired());

    std::weak_ptr<Timer> oneShot = Timer::scheduled(seconds(0.5), Timer::Repeats::no, [&](Timer&) { ++fires; });
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(fires, 3);
    EXPECT_TRUE(oneShot.expired());
}

TEST_F(TimerTest, InvalidationReleasesWhatTheBlockCaptured)
{
    // The usual cycle: the owner holds the timer, the block holds the owner.
    struct Owner {
        std::shared_ptr<Timer> timer;
    };
    auto owner = std::make_shared<Owner>();
    std::weak_ptr<Owner> watchOwner = owner;
    owner->timer = Timer::scheduled(seconds(1), Timer::Repeats::yes, [owner](Timer&) { });
    std::weak_ptr<Timer> watchTimer = owner->timer;
    owner->timer->invalidate();
    owner->timer->invalidate(); // twice is harmless
    owner.reset();
    EXPECT_TRUE(watchOwner.expired());
    EXPECT_TRUE(watchTimer.expired());
}

// A once-a-second check with a fifth of a second of slack beside a five-times-a-second one: alone
// it fires on the second; once the other runs it rides on its ticks, never sooner than a second
// after its last fire, and the loop wakes no more often than for the faster timer alone.
TEST_F(TimerTest, ATolerantTimerRidesOnAnotherTimersTicksAndKeepsItsInterval)
{
    std::vector<double> checks;
    auto check = Timer::scheduled(seconds(1), Timer::Repeats::yes, [&](Timer&) { checks.push_back(elapsed()); });
    check->setTolerance(seconds(0.2));
    EXPECT_EQ(check->tolerance(), seconds(0.2));
    Dispatch::advance(*clock, seconds(3.07));
    EXPECT_EQ(checks, (std::vector<double> { 1, 2, 3 }));

    int ticks = 0;
    auto fast = Timer::scheduled(seconds(0.2), Timer::Repeats::yes, [&](Timer&) { ++ticks; });
    EXPECT_EQ(mainWakesOver(*clock, seconds(5)), 25);
    EXPECT_EQ(ticks, 25);
    ASSERT_EQ(checks.size(), 8u);
    EXPECT_NEAR(checks.back(), 8.07, 1e-9) << "on the last tick";

    fast->invalidate();
    Dispatch::advance(*clock, seconds(3));
    ASSERT_EQ(checks.size(), 11u);
    for (size_t i = 1; i < checks.size(); ++i)
        EXPECT_GE(checks[i] - checks[i - 1], 1 - 1e-9) << "fires " << i - 1 << " and " << i;
    EXPECT_NEAR(checks.back(), 11.07, 1e-9);
    check->invalidate();
}

// Slack lets a timer fire late, not out of order: a tolerant timer due before another still fires
// before it, and work whose time is equal keeps the order it was scheduled in.
TEST_F(TimerTest, ATolerantTimerStillFiresInOrderWithWorkDueAfterIt)
{
    std::vector<std::string> order;
    auto slack = Timer::scheduled(seconds(1), Timer::Repeats::no, [&](Timer&) { order.push_back("slack@" + std::to_string(elapsed())); });
    slack->setTolerance(seconds(0.5));
    DispatchQueue::main().asyncAfter(seconds(1.3), [&] { order.push_back("later@" + std::to_string(elapsed())); });
    DispatchQueue::main().asyncAfter(seconds(1.3), [&] { order.push_back("then@" + std::to_string(elapsed())); });
    Dispatch::advance(*clock, seconds(2));
    EXPECT_EQ(order, (std::vector<std::string> { "slack@1.300000", "later@1.300000", "then@1.300000" }));
}

TEST_F(TimerTest, ZeroIntervalIsTakenAsATenthOfAMillisecond)
{
    int fires = 0;
    auto timer = Timer::scheduled(Duration::zero(), Timer::Repeats::yes, [&](Timer&) { ++fires; });
    EXPECT_EQ(timer->interval(), std::chrono::microseconds(100));
    Dispatch::advance(*clock, std::chrono::milliseconds(1));
    EXPECT_EQ(fires, 10);
    timer->invalidate();
}

} // namespace
} // namespace lorvantine
