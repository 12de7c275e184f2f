#include "TestSupport/ManualClockTest.h"

#include <atomic>
#include <string>
#include <vector>

namespace lorvantine {
namespace {

class RunLoopTest : public ManualClockTest { };

TEST_F(RunLoopTest, RunPendingRunsWhatIsQueuedAndWhatThatQueues)
{
    std::vector<int> order;
    DispatchQueue::main().async([&] {
        order.push_back(1);
        DispatchQueue::main().async([&] { order.push_back(3); });
    });
    DispatchQueue::main().async([&] { order.push_back(2); });
    EXPECT_EQ(RunLoop::runPending(), 3u);
    EXPECT_EQ(order, (std::vector<int> { 1, 2, 3 }));
    EXPECT_EQ(RunLoop::runPending(), 0u);
}

TEST_F(RunLoopTest, RunServesTheMainQueueUntilStopped)
{
    std::vector<int> order;
    DispatchQueue::global().async([&] {
        for (int i = 0; i < 3; ++i)
            DispatchQueue::main().async([&, i] { order.push_back(i); });
        DispatchQueue::main().async([] { RunLoop::stop(); });
    });
    RunLoop::run();
    EXPECT_EQ(order, (std::vector<int> { 0, 1, 2 }));
}

TEST_F(RunLoopTest, StopFromAnotherThreadBeforeRunIsNotLost)
{
    std::thread([] { RunLoop::stop(); }).join();
    RunLoop::run(); // returns at once
    SUCCEED();
}

TEST_F(RunLoopTest, RunUntilReturnsOnceDoneHoldsWhereverItWasSet)
{
    bool done = false;
    DispatchQueue::global().async([&] { DispatchQueue::main().async([&] { done = true; }); });
    EXPECT_TRUE(RunLoop::runUntil([&] { return done; }, seconds(10)));

    std::atomic<bool> setOffMain { false };
    DispatchQueue::global().async([&] { setOffMain = true; });
    EXPECT_TRUE(RunLoop::runUntil([&] { return setOffMain.load(); }, seconds(10)));
}

TEST_F(RunLoopTest, RunUntilTimesOutOnTheInstalledClock)
{
    std::atomic<bool> returned { false };
    std::thread mover([&] {
        while (!returned) {
            clock->advance(seconds(0.25));
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    });
    EXPECT_FALSE(RunLoop::runUntil([] { return false; }, seconds(1)));
    // Sleeping until main-queue work comes, the loop still wakes as the clock moves.
    EXPECT_FALSE(RunLoop::runUntil([] { return false; }, seconds(1), RunLoop::DoneSetBy::mainQueueWork));
    returned = true;
    mover.join();
    EXPECT_GE(clock->now() - start, seconds(2));
}

// Quitting while modal alerts wait for answers: the stop ends each nested loop without asking
// its condition again, then the run itself. A loop that ignored the stop would go on until its
// condition held (here: the fourth look).
TEST_F(RunLoopTest, AStopEndsEveryNestedLoopAndThenTheRun)
{
    int outerLooks = 0, innerLooks = 0;
    std::vector<std::string> returned;
    DispatchQueue::main().async([&] {
        DispatchQueue::main().async([&] {
            DispatchQueue::main().async([] { RunLoop::stop(); });
            const bool done = RunLoop::runUntil([&] { return ++innerLooks > 3; }, seconds(10));
            returned.push_back(done ? "inner done" : "inner stopped");
        });
        const bool done = RunLoop::runUntil([&] { return ++outerLooks > 3; }, seconds(10));
        returned.push_back(done ? "outer done" : "outer stopped");
    });
    RunLoop::run();
    EXPECT_EQ(returned, (std::vector<std::string> { "inner stopped", "outer stopped" }));
    EXPECT_EQ(innerLooks, 1);

    // A loop begun while the stop waits for its run gives up at once, and leaves the stop there.
    RunLoop::stop();
    int looks = 0;
    EXPECT_FALSE(RunLoop::runUntil([&] { return ++looks > 3; }, seconds(10)));
    RunLoop::run(); // returns at once
}

TEST(RunLoopDeathTest, RunningTheMainQueueOffTheMainThreadIsAProgrammerError)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_DEATH(
        {
            RunLoop::isMainThread();
            std::thread([] { RunLoop::runPending(); }).join();
        },
        "RunLoop::runPending called off the main thread");
}

TEST(RunLoopSteadyTest, RunUntilAndDelayedWorkFollowRealTimeUnderTheSteadyClock)
{
    ASSERT_NE(dynamic_cast<SteadyClock*>(&Clock::current()), nullptr);
    auto before = std::chrono::steady_clock::now();
    EXPECT_FALSE(RunLoop::runUntil([] { return false; }, std::chrono::milliseconds(10)));
    auto took = std::chrono::steady_clock::now() - before;
    EXPECT_GE(took, std::chrono::milliseconds(10));
    EXPECT_LT(took, std::chrono::seconds(2));

    bool ran = false;
    DispatchQueue::main().asyncAfter(std::chrono::milliseconds(3), [&] { ran = true; });
    EXPECT_TRUE(RunLoop::runUntil([&] { return ran; }, seconds(5)));

    Semaphore semaphore(0);
    EXPECT_FALSE(semaphore.wait(std::chrono::milliseconds(3)));
}

// A loop that sleeps until main-queue work comes (an alert waiting) still serves the main run
// loop's timers and the work other threads post, and its time-out still ends it.
TEST(RunLoopSteadyTest, ALoopWaitingForMainQueueWorkServesTimersAndPostedWork)
{
    ASSERT_NE(dynamic_cast<SteadyClock*>(&Clock::current()), nullptr);
    using RunLoop::DoneSetBy;
    bool fired = false;
    DispatchQueue::main().asyncAfter(std::chrono::milliseconds(3), [&] { fired = true; });
    EXPECT_TRUE(RunLoop::runUntil([&] { return fired; }, seconds(5), DoneSetBy::mainQueueWork));
    bool posted = false;
    DispatchQueue::global().async([&] { DispatchQueue::main().async([&] { posted = true; }); });
    EXPECT_TRUE(RunLoop::runUntil([&] { return posted; }, seconds(5), DoneSetBy::mainQueueWork));
    EXPECT_FALSE(RunLoop::runUntil([] { return false; }, std::chrono::milliseconds(10), DoneSetBy::mainQueueWork));
}

// Under the steady clock the main thread fires its own delayed work as its loop turns; work that
// came due before something was posted still runs first, as if it had been posted when due.
TEST(RunLoopSteadyTest, DelayedWorkThatCameDueRunsBeforeWorkPostedAfterIt)
{
    ASSERT_NE(dynamic_cast<SteadyClock*>(&Clock::current()), nullptr);
    std::vector<std::string> order;
    DispatchQueue::main().asyncAfter(Duration::zero(), [&] { order.push_back("due"); });
    DispatchQueue::main().asyncAfter(-seconds(1), [&] { order.push_back("overdue"); });
    DispatchQueue::main().async([&] { order.push_back("posted"); });
    EXPECT_TRUE(RunLoop::runUntil([&] { return order.size() == 3; }, seconds(5)));
    EXPECT_EQ(order, (std::vector<std::string> { "overdue", "due", "posted" }));
}

} // namespace
} // namespace lorvantine
