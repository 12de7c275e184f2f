#include "TestSupport/ManualClockTest.h"

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

namespace lorvantine {
namespace {

class AdvanceTest : public ManualClockTest {
protected:
    // What ran, with the clock's reading (seconds since the test began) when it ran.
    void note(const std::string& what)
    {
        std::lock_guard lock(mutex);
        events.push_back(what + "@" + std::to_string(static_cast<int>(elapsed() * 1000 + 0.5)));
    }
    std::vector<std::string> log()
    {
        std::lock_guard lock(mutex);
        return events;
    }

    std::mutex mutex;
    std::vector<std::string> events;
};

TEST_F(AdvanceTest, ChainedMainQueueWorkSeesTheTimeItAskedFor)
{
    DispatchQueue::main().asyncAfter(seconds(1), [&] {
        note("A");
        DispatchQueue::main().asyncAfter(seconds(1), [&] { note("B"); });
        DispatchQueue::main().async([&] { note("A2"); });
    });
    Dispatch::advance(*clock, seconds(2));
    EXPECT_EQ(log(), (std::vector<std::string> { "A@1000", "A2@1000", "B@2000" }));
    EXPECT_EQ(clock->now(), start + seconds(2));
}

TEST_F(AdvanceTest, StopsShortOfWorkBeyondTheTarget)
{
    DispatchQueue::main().asyncAfter(seconds(1), [&] { note("A"); });
    Dispatch::advance(*clock, seconds(0.5));
    EXPECT_TRUE(log().empty());
    EXPECT_EQ(clock->now(), start + seconds(0.5));
    Dispatch::advance(*clock, seconds(0.5));
    EXPECT_EQ(log(), (std::vector<std::string> { "A@1000" }));
}

TEST_F(AdvanceTest, EqualDeadlinesRunInTheOrderTheyWereScheduled)
{
    for (int i = 0; i < 5; ++i)
        DispatchQueue::main().asyncAfter(seconds(1), [&, i] { note(std::to_string(i)); });
    DispatchQueue::main().asyncAfter(seconds(0.5), [&] { note("early"); });
    Dispatch::advance(*clock, seconds(1));
    EXPECT_EQ(log(), (std::vector<std::string> { "early@500", "0@1000", "1@1000", "2@1000", "3@1000", "4@1000" }));
}

TEST_F(AdvanceTest, WaitsForDelayedBackgroundWorkAndWhatItPostsToMain)
{
    auto serial = DispatchQueue::makeSerial("s");
    DispatchQueue::global().asyncAfter(seconds(1), [&] {
        note("global");
        serial->async([&] {
            note("serial");
            DispatchQueue::main().asyncAfter(seconds(0.5), [&] { note("main"); });
        });
    });
    Dispatch::advance(*clock, seconds(3));
    EXPECT_EQ(log(), (std::vector<std::string> { "global@1000", "serial@1000", "main@1500" }));
}

TEST_F(AdvanceTest, BackgroundClockSleepsWakeAtTheirOwnDeadline)
{
    DispatchQueue::global().async([&] {
        Clock::current().sleep(seconds(1));
        note("slept");
        DispatchQueue::main().async([&] { note("main"); });
        Clock::current().sleep(seconds(0.25));
        note("again");
    });
    Dispatch::advance(*clock, seconds(2));
    EXPECT_EQ(log(), (std::vector<std::string> { "slept@1000", "main@1000", "again@1250" }));
}

TEST_F(AdvanceTest, WorkQueuedBehindASleepingSerialItemRunsAfterIt)
{
    auto serial = DispatchQueue::makeSerial("s");
    serial->async([&] {
        Clock::current().sleep(seconds(1));
        note("first");
    });
    serial->async([&] { note("second"); });
    // Settling with the first item asleep must not wait for the second, which cannot run yet.
    auto before = std::chrono::steady_clock::now();
    Dispatch::advance(*clock, seconds(0.5));
    EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
    EXPECT_TRUE(log().empty());
    Dispatch::advance(*clock, seconds(0.5));
    EXPECT_EQ(log(), (std::vector<std::string> { "first@1000", "second@1000" }));
}

TEST_F(AdvanceTest, RealTimeBackgroundWorkIsWaitedFor)
{
    std::atomic<bool> finished { false };
    DispatchQueue::global().async([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        finished = true;
    });
    Dispatch::advance(*clock, seconds(0.1));
    EXPECT_TRUE(finished);
}

TEST_F(AdvanceTest, ZeroOrNegativeAdvanceOnlySettles)
{
    DispatchQueue::main().async([&] { note("now"); });
    Dispatch::advance(*clock, seconds(-1));
    Dispatch::advance(*clock, Duration::zero());
    EXPECT_EQ(log(), (std::vector<std::string> { "now@0" }));
    EXPECT_EQ(clock->now(), start);
}

} // namespace
} // namespace lorvantine
