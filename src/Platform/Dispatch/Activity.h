#pragma once

#include <chrono>
#include <condition_variable>

namespace lorvantine {

// Counts the background work that can still make progress: a unit is a global-queue item
// (queued or running) or a serial queue that holds work. A pool thread blocked in one of our
// waits (manual clock sleep, semaphore, group) takes its unit off the count, because only
// someone else can move it on. `Dispatch::advance` and `waitUntilIdle` wait for the count to
// reach zero.
namespace Activity {

void add(long units);
bool isIdle();
// Real-time wait; false when `deadline` passes first.
bool waitIdle(std::chrono::steady_clock::time_point deadline);

// One blocking wait of one thread. `resume` is called exactly where the wait ends: by the thread
// that ends it (a signal, a clock advance, a time-out) or by the waiter itself, always under the
// lock of what is waited on, so the unit is back on the count before the waiter can run.
struct WaitMark {
    bool counted = false;
};
void beginWait(WaitMark&);
void resume(WaitMark&);

// A blocked thread's record, shared between the waiter and whoever wakes it.
struct Waiter {
    std::condition_variable wakeup;
    bool finished = false;
    bool timedOut = false;
    WaitMark mark;
};

} // namespace Activity
} // namespace lorvantine
