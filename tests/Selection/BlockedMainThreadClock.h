#pragma once

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Scheduler.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

namespace lorvantine::test {

// The copy command's polling blocks the main thread in clock sleeps, so no `Dispatch::advance`
// can run meanwhile. While it lives, this moves the manual clock for it, as `advance` would: each
// time a thread sleeps on the clock, the background queues are let settle, then the clock goes to
// the earlier of the next delayed work and the sleeper's deadline. Nothing depends on how fast a
// thread runs: every step waits for the work it made due.
class BlockedMainThreadClock {
public:
    explicit BlockedMainThreadClock(std::shared_ptr<ManualClock> clock) : m_clock(std::move(clock)), m_thread([this] { run(); }) { }
    ~BlockedMainThreadClock()
    {
        m_stop = true;
        m_thread.join();
    }
    BlockedMainThreadClock(const BlockedMainThreadClock&) = delete;
    BlockedMainThreadClock& operator=(const BlockedMainThreadClock&) = delete;

private:
    void run()
    {
        while (!m_stop) {
            const auto sleeper = m_clock->nextSleepDeadline();
            if (!sleeper) {
                std::this_thread::yield();
                continue;
            }
            settle();
            TimePoint to = *sleeper;
            if (auto next = Scheduler::shared().nextDeadline(); next && *next < to && *next > m_clock->now())
                to = *next;
            m_clock->set(to);
            settle();
        }
    }
    static void settle()
    {
        Scheduler::shared().fireDue();
        Activity::waitIdle(std::chrono::steady_clock::now() + std::chrono::seconds(5));
    }

    std::shared_ptr<ManualClock> m_clock;
    std::atomic<bool> m_stop { false };
    std::thread m_thread;
};

} // namespace lorvantine::test
