#include "TestSupport/ManualClockTest.h"

#include "Platform/Dispatch/Scheduler.h"
#include "Platform/Dispatch/ThreadPool.h"

#include <atomic>
#include <cstdlib>
#include <latch>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvantine {
namespace {

class DispatchQueueTest : public ManualClockTest { };

TEST_F(DispatchQueueTest, SerialQueueRunsItsWorkInOrderOneAtATime)
{
    auto queue = DispatchQueue::makeSerial("test.serial");
    EXPECT_EQ(queue->label(), "test.serial");
    std::vector<int> order;
    std::atomic<int> inside { 0 };
    std::atomic<bool> overlapped { false };
    std::atomic<bool> notCurrent { false };
    for (int i = 0; i < 500; ++i) {
        queue->async([&, i, q = queue.get()] {
            if (inside.fetch_add(1) != 0)
                overlapped = true;
            if (!q->isCurrent())
                notCurrent = true;
            order.push_back(i);
            inside.fetch_sub(1);
        });
    }
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i)
        EXPECT_EQ(order[i], i);
    EXPECT_FALSE(overlapped);
    EXPECT_FALSE(notCurrent);
    EXPECT_FALSE(queue->isCurrent());
}

TEST_F(DispatchQueueTest, TwoSerialQueuesRunSideBySide)
{
    auto a = DispatchQueue::makeSerial("a");
    auto b = DispatchQueue::makeSerial("b");
    std::latch bothRunning(2);
    a->async([&] { bothRunning.arrive_and_wait(); });
    b->async([&] { bothRunning.arrive_and_wait(); });
    EXPECT_TRUE(Dispatch::waitUntilIdle());
}

TEST_F(DispatchQueueTest, GlobalQueueRunsWorkConcurrently)
{
    auto& queue = DispatchQueue::global(QualityOfService::userInitiated);
    constexpr int tasks = 4;
    std::latch allRunning(tasks);
    std::atomic<int> done { 0 };
    std::atomic<bool> sawCurrent { true };
    for (int i = 0; i < tasks; ++i) {
        queue.async([&] {
            allRunning.arrive_and_wait();
            if (!queue.isCurrent() || DispatchQueue::global(QualityOfService::utility).isCurrent())
                sawCurrent = false;
            ++done;
        });
    }
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(done, tasks);
    EXPECT_TRUE(sawCurrent);
}

TEST_F(DispatchQueueTest, WorkBlockedOnSemaphoresDoesNotStarveTheWorkThatReleasesIt)
{
    // More blocked items than the pool has threads: the releasing item must still get a thread.
    constexpr int blocked = 40;
    Semaphore gate(0);
    std::atomic<int> released { 0 };
    for (int i = 0; i < blocked; ++i) {
        DispatchQueue::global().async([&] {
            gate.wait();
            ++released;
        });
    }
    DispatchQueue::global().async([&] {
        for (int i = 0; i < blocked; ++i)
            gate.signal();
    });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(released, blocked);
}

TEST_F(DispatchQueueTest, MainThreadIsTheTestThreadAndNoWorkerThread)
{
    EXPECT_TRUE(RunLoop::isMainThread());
    EXPECT_TRUE(DispatchQueue::main().isCurrent());
    auto serial = DispatchQueue::makeSerial("s");
    std::atomic<int> mainSeen { 0 };
    auto probe = [&] {
        if (RunLoop::isMainThread() || DispatchQueue::main().isCurrent())
            ++mainSeen;
    };
    DispatchQueue::global().async(probe);
    serial->async(probe);
    std::thread([&] { probe(); }).join();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(mainSeen, 0);

    bool ranOnMain = false;
    DispatchQueue::global().async([&] { DispatchQueue::main().async([&] { ranOnMain = RunLoop::isMainThread(); }); });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_TRUE(ranOnMain);
}

TEST_F(DispatchQueueTest, AnotherThreadCanBeAdoptedAsMain)
{
    std::thread other([] {
        RunLoop::adoptCurrentThreadAsMain();
        EXPECT_TRUE(RunLoop::isMainThread());
        bool ran = false;
        DispatchQueue::main().async([&] { ran = true; });
        EXPECT_EQ(RunLoop::runPending(), 1u);
        EXPECT_TRUE(ran);
    });
    other.join();
    EXPECT_FALSE(RunLoop::isMainThread());
    RunLoop::adoptCurrentThreadAsMain();
    EXPECT_TRUE(RunLoop::isMainThread());
}

TEST_F(DispatchQueueTest, SyncWaitsForTheWorkOnItsQueue)
{
    auto serial = DispatchQueue::makeSerial("s");
    std::thread::id ranOn;
    bool wasCurrent = false;
    serial->sync([&] {
        ranOn = std::this_thread::get_id();
        wasCurrent = serial->isCurrent();
    });
    EXPECT_NE(ranOn, std::this_thread::get_id());
    EXPECT_TRUE(wasCurrent);

    int value = 0;
    DispatchQueue::global().sync([&] { value = 1; });
    EXPECT_EQ(value, 1);

    // Global work may sync onto its own (concurrent) queue, and onto a serial queue.
    std::atomic<int> nested { 0 };
    DispatchQueue::global().async([&] {
        DispatchQueue::global().sync([&] { ++nested; });
        serial->sync([&] { ++nested; });
    });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(nested, 2);

    // Onto main: in place from the main thread, when the main loop turns from elsewhere.
    bool inPlace = false;
    DispatchQueue::main().sync([&] { inPlace = true; });
    EXPECT_TRUE(inPlace);
    EXPECT_EQ(RunLoop::runPending(), 0u);
    bool onMain = false;
    std::atomic<bool> returned { false };
    DispatchQueue::global().async([&] {
        DispatchQueue::main().sync([&] { onMain = RunLoop::isMainThread(); });
        returned = true;
    });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_TRUE(onMain);
    EXPECT_TRUE(returned);
}

TEST(DispatchQueueDeathTest, SyncOntoASerialQueueFromItselfIsAProgrammerError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            auto serial = DispatchQueue::makeSerial("self");
            serial->sync([&] { serial->sync([] { }); });
        },
        "from that queue itself");
}

TEST_F(DispatchQueueTest, AsyncAfterRunsOnceItsDelayHasPassedOnTheClock)
{
    bool ran = false;
    DispatchQueue::main().asyncAfter(seconds(1), [&] { ran = true; });
    clock->advance(seconds(0.999));
    RunLoop::runPending();
    EXPECT_FALSE(ran);
    clock->advance(seconds(0.001));
    EXPECT_EQ(RunLoop::runPending(), 1u);
    EXPECT_TRUE(ran);
}

TEST_F(DispatchQueueTest, ZeroDelayRunsWithoutMovingTheClock)
{
    bool mainRan = false;
    std::atomic<bool> globalRan { false };
    DispatchQueue::main().asyncAfter(Duration::zero(), [&] { mainRan = true; });
    DispatchQueue::global().asyncAfter(seconds(-1), [&] { globalRan = true; });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_TRUE(mainRan);
    EXPECT_TRUE(globalRan);
}

TEST_F(DispatchQueueTest, CancelledWorkNeverRunsAndIsReleasedAtOnce)
{
    auto captured = std::make_shared<int>(7);
    std::weak_ptr<int> watch = captured;
    bool ran = false;
    WorkItem item = DispatchQueue::main().asyncAfter(seconds(1), [&ran, captured] { ran = true; });
    captured.reset();
    ASSERT_TRUE(item);
    EXPECT_FALSE(item.isCancelled());
    EXPECT_FALSE(watch.expired());
    item.cancel();
    EXPECT_TRUE(item.isCancelled());
    EXPECT_TRUE(watch.expired());
    Dispatch::advance(*clock, seconds(2));
    EXPECT_FALSE(ran);

    // Cancelled after its delay, while it waits on the main queue.
    WorkItem due = DispatchQueue::main().asyncAfter(seconds(1), [&] { ran = true; });
    clock->advance(seconds(1));
    due.cancel();
    RunLoop::runPending();
    EXPECT_FALSE(ran);

    WorkItem none;
    EXPECT_FALSE(none);
    none.cancel();
    EXPECT_FALSE(none.isCancelled());
}

TEST_F(DispatchQueueTest, DelayedWorkKeepsAReleasedSerialQueueAliveUntilItRuns)
{
    auto serial = DispatchQueue::makeSerial("s");
    std::weak_ptr<DispatchQueue> watch = serial;
    std::atomic<bool> ran { false };
    serial->asyncAfter(seconds(1), [&] { ran = true; });
    serial.reset();
    EXPECT_FALSE(watch.expired());
    Dispatch::advance(*clock, seconds(1));
    EXPECT_TRUE(ran);
    EXPECT_TRUE(eventually([&] { return watch.expired(); }));
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

// Ends the process with 0 when the end of the dispatch behaved: the work running was waited for;
// delayed and later work never started, and what it held was let go at once.
[[noreturn]] void endWithWorkInFlight()
{
    RunLoop::adoptCurrentThreadAsMain();
    std::atomic<bool> started { false };
    std::atomic<bool> finished { false };
    std::atomic<bool> ran { false };
    DispatchQueue::global().async([&] {
        started = true;
        // Still busy when the end begins: it returns only once the pool is closed.
        while (!ThreadPool::shared().isClosed())
            std::this_thread::yield();
        finished = true;
    });
    while (!started)
        std::this_thread::yield();
    auto heldByDelayed = std::make_shared<int>(1);
    std::weak_ptr<int> delayed = heldByDelayed;
    DispatchQueue::global().asyncAfter(seconds(3600), [&ran, held = std::move(heldByDelayed)] { ran = true; });

    const bool quiet = Dispatch::shutdown(std::chrono::seconds(30));

    auto heldByLater = std::make_shared<int>(2);
    std::weak_ptr<int> later = heldByLater;
    DispatchQueue::global().async([&ran, held = std::move(heldByLater)] { ran = true; });
    const WorkItem afterEnd = DispatchQueue::main().asyncAfter(seconds(1), [] { });
    const bool behaved = quiet && finished && delayed.expired() && later.expired() && !ran && afterEnd.isCancelled()
        && !Scheduler::shared().nextDeadline();
    std::_Exit(behaved ? 0 : 1);
}

// In a child process, since the pool stays closed.
TEST(DispatchShutdownDeathTest, TheEndWaitsForTheWorkRunningAndStartsNoMore)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(endWithWorkInFlight(), ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace lorvantine
