#include "TestSupport/ManualClockTest.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace lorvantine {
namespace {

class SemaphoreTest : public ManualClockTest { };

TEST_F(SemaphoreTest, CountsSignalsAndWaits)
{
    Semaphore semaphore(2);
    EXPECT_TRUE(semaphore.wait(seconds(1)));
    semaphore.wait();
    EXPECT_FALSE(semaphore.wait(Duration::zero()));
    semaphore.signal();
    EXPECT_TRUE(semaphore.wait(Duration::zero()));
}

TEST_F(SemaphoreTest, TimedWaitFailsOnlyOnceTheInstalledClockPassesTheDeadline)
{
    Semaphore semaphore(0);
    std::atomic<int> result { -1 };
    // Run from the pool, so that advancing the clock waits until the wait has taken its
    // deadline; a thread of its own could read the clock only after the first step.
    DispatchQueue::global().async([&] { result = semaphore.wait(seconds(2)) ? 1 : 0; });
    Dispatch::advance(*clock, seconds(1.5));
    EXPECT_EQ(result, -1);
    Dispatch::advance(*clock, seconds(0.5));
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(result, 0);

    // A time-out does not eat a later signal.
    semaphore.signal();
    EXPECT_TRUE(semaphore.wait(Duration::zero()));
}

TEST_F(SemaphoreTest, SignalBeforeTheDeadlineWins)
{
    Semaphore semaphore(0);
    std::atomic<int> result { -1 };
    DispatchQueue::global().async([&] { result = semaphore.wait(seconds(2)) ? 1 : 0; });
    Dispatch::advance(*clock, seconds(1));
    semaphore.signal();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(result, 1);
    Dispatch::advance(*clock, seconds(5)); // the stale time-out does nothing
    EXPECT_FALSE(semaphore.wait(Duration::zero()));
}

TEST_F(SemaphoreTest, WaitersAreServedInArrivalOrder)
{
    Semaphore semaphore(0);
    std::mutex mutex;
    std::vector<int> order;
    for (int i = 0; i < 3; ++i) {
        DispatchQueue::global().async([&, i] {
            semaphore.wait();
            std::lock_guard lock(mutex);
            order.push_back(i);
        });
        ASSERT_TRUE(Dispatch::waitUntilIdle()); // parked before the next one arrives
    }
    for (int i = 0; i < 3; ++i) {
        semaphore.signal();
        ASSERT_TRUE(Dispatch::waitUntilIdle());
        std::lock_guard lock(mutex);
        EXPECT_EQ(order.size(), static_cast<size_t>(i + 1));
    }
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2 }));
}

class DispatchGroupTest : public ManualClockTest { };

TEST_F(DispatchGroupTest, WaitReturnsOnceAllWorkHasLeft)
{
    DispatchGroup group;
    std::atomic<int> done { 0 };
    auto serial = DispatchQueue::makeSerial("s");
    for (int i = 0; i < 20; ++i)
        group.async(i % 2 ? DispatchQueue::global() : *serial, [&] { ++done; });
    group.wait();
    EXPECT_EQ(done, 20);
    EXPECT_TRUE(group.wait(Duration::zero()));
}

TEST_F(DispatchGroupTest, NotifyRunsOnItsQueueWhenTheGroupEmpties)
{
    DispatchGroup group;
    std::vector<std::string> events;
    group.enter();
    group.enter();
    group.notify(DispatchQueue::main(), [&] { events.push_back("notified"); });
    group.leave();
    RunLoop::runPending();
    EXPECT_TRUE(events.empty());
    DispatchQueue::global().async([&] { group.leave(); });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(events, (std::vector<std::string> { "notified" }));

    // On an empty group, notify posts at once (not in place).
    group.notify(DispatchQueue::main(), [&] { events.push_back("empty"); });
    EXPECT_EQ(events.size(), 1u);
    RunLoop::runPending();
    EXPECT_EQ(events.back(), "empty");
}

TEST_F(DispatchGroupTest, NotifyKeepsAReleasedSerialQueueUntilItRuns)
{
    DispatchGroup group;
    auto serial = DispatchQueue::makeSerial("s");
    std::weak_ptr<DispatchQueue> watch = serial;
    std::atomic<bool> notified { false };
    group.enter();
    group.notify(*serial, [&] { notified = true; });
    serial.reset();
    EXPECT_FALSE(watch.expired());
    group.leave();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_TRUE(notified);
    EXPECT_TRUE(eventually([&] { return watch.expired(); }));
}

TEST_F(DispatchGroupTest, TimedWaitFollowsTheManualClock)
{
    DispatchGroup group;
    group.enter();
    std::atomic<int> result { -1 };
    DispatchQueue::global().async([&] { result = group.wait(seconds(1)) ? 1 : 0; });
    Dispatch::advance(*clock, seconds(0.999));
    EXPECT_EQ(result, -1);
    Dispatch::advance(*clock, seconds(0.001));
    EXPECT_EQ(result, 0);

    DispatchQueue::global().async([&] { result = group.wait(seconds(1)) ? 1 : 0; });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    group.leave();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(result, 1);
}

TEST(DispatchGroupDeathTest, LeavingMoreThanEnteringIsAProgrammerError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            DispatchGroup group;
            group.leave();
        },
        "without a matching enter");
}

} // namespace
} // namespace lorvantine
