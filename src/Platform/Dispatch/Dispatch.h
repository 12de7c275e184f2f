#pragma once

#include "Platform/Dispatch/Clock.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace lorvantine {

enum class QualityOfService { userInteractive, userInitiated, defaultQoS, utility, background };

// A handle on delayed work; cancelling before it runs drops it (and releases what the work
// captured). Cheap to copy; any thread.
class WorkItem {
public:
    WorkItem() = default;
    void cancel();
    bool isCancelled() const;
    explicit operator bool() const { return m_state != nullptr; }

private:
    friend class Scheduler;
    friend class Timer;
    struct State;
    explicit WorkItem(std::shared_ptr<State> state) : m_state(std::move(state)) { }
    std::shared_ptr<State> m_state;
};

// A queue of work items. The main queue runs on the main thread, inside the main run loop;
// global queues share a thread pool and run work concurrently; serial queues run one item at
// a time, in order, on pool threads. Delays are measured on the installed `Clock`.
class DispatchQueue {
public:
    virtual ~DispatchQueue() = default;

    static DispatchQueue& main();
    static DispatchQueue& global(QualityOfService qos = QualityOfService::defaultQoS);
    static std::shared_ptr<DispatchQueue> makeSerial(std::string label);

    virtual void async(std::function<void()> work) = 0;
    WorkItem asyncAfter(Duration delay, std::function<void()> work);
    // Runs `work` on this queue and waits for it. Must not be called from this queue itself
    // (calling main().sync from the main thread runs the work in place).
    void sync(const std::function<void()>& work);

    virtual bool isCurrent() const = 0;
    virtual const std::string& label() const = 0;
};

// A main-run-loop timer, like Foundation's scheduled timer: it fires on the main thread. As in
// Foundation the run loop keeps a valid timer alive, so a discarded result still fires; a
// non-repeating timer invalidates itself after firing. `invalidate` releases the block; called on
// the main thread it guarantees the block never runs again. A repeating timer fires at start +
// n * interval and skips fires it missed rather than catching up. Intervals under 0.1 ms are
// taken as 0.1 ms.
//
// As in Foundation, a timer may be given a tolerance: it then fires up to that much after its
// time (never before), on a wake-up of the main run loop that other work needs anyway when one
// comes in time. A repeating timer with a tolerance counts its next interval from the moment it
// fired, so two of its fires are never closer than its interval.
class Timer {
public:
    enum class Repeats { no, yes };
    // The block gets the timer so it can invalidate itself.
    static std::shared_ptr<Timer> scheduled(Duration interval, Repeats repeats, std::function<void(Timer&)> block);

    ~Timer();
    void invalidate();
    bool isValid() const;
    Duration interval() const { return m_interval; }
    void setTolerance(Duration tolerance);
    Duration tolerance() const;

private:
    Timer(Duration interval, Repeats repeats, std::function<void(Timer&)> block);
    void arm();
    void fire();
    Duration m_interval;
    Repeats m_repeats;
    std::function<void(Timer&)> m_block;
    std::atomic<bool> m_valid { true };
    WorkItem m_pending;
    std::weak_ptr<Timer> m_self;
    TimePoint m_fireTime {};
    Duration m_tolerance {};
    mutable std::mutex m_lock;
};

// Waiting threads are served in order; the timed waits measure on the installed clock.
class Semaphore {
public:
    explicit Semaphore(int value);
    ~Semaphore();
    void signal();
    void wait();
    // Waits at most `timeout` on the installed clock. Returns false on time-out.
    bool wait(Duration timeout);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

class DispatchGroup {
public:
    DispatchGroup();
    ~DispatchGroup();
    void enter();
    void leave();
    void async(DispatchQueue& queue, std::function<void()> work);
    void wait();
    bool wait(Duration timeout);
    // Runs `work` on `queue` once the group is empty (at once if it is empty now).
    void notify(DispatchQueue& queue, std::function<void()> work);

private:
    struct State;
    std::shared_ptr<State> m_state;
};

// The main run loop. The main thread is the first thread that touches the main queue or runs
// the loop (normally the thread of `main`, or a test's thread).
namespace RunLoop {

bool isMainThread();
// Makes the calling thread the main thread from now on (tests that run the loop on a thread of
// their own).
void adoptCurrentThreadAsMain();
// Runs the main queue until `stop()` is called. A `stop()` from any thread ends the current or
// the next `run()`, and every `runUntil` running inside it (a modal alert's loop) on the way out.
void run();
void stop();
// Runs what the main queue holds now and what that work posts to it, until it is empty.
// Returns how many items ran. Main thread only.
size_t runPending();
// Where the condition of `runUntil` comes to hold: anywhere (the loop looks at it again every few
// milliseconds), or only through work the main queue runs (the loop sleeps until work comes, a
// timer of the main run loop is due or the time is up: a modal alert waiting costs what rest
// costs).
enum class DoneSetBy { anyThread, mainQueueWork };
// Runs the main queue until `done()` holds, `timeout` has passed on the installed clock or a
// `stop()` waits for the `run()` around it (which this leaves to consume it). Returns done().
// Main thread only.
bool runUntil(const std::function<bool()>& done, Duration timeout, DoneSetBy setBy = DoneSetBy::anyThread);

} // namespace RunLoop

namespace Dispatch {

// Test support with a `ManualClock`: moves time forward to `now + d` in steps, stopping at each
// due deadline of any queue, firing what is due and running the main queue until it is idle
// before taking the next step, so chains of delayed work see the time they expect.
// Main thread only.
void advance(ManualClock& clock, Duration d);
// Waits (in real time, at most `timeout`) until no queue holds or runs work, then runs the main
// queue until it is idle. Returns false on time-out. Main thread only.
// For both, a queue's work that is blocked in a clock sleep, a semaphore or a group wait counts
// as idle: only another step or another queue's work can move it on.
bool waitUntilIdle(std::chrono::milliseconds timeout = std::chrono::milliseconds(5000));
// Test support, at the end of a test: invalidates every timer and drops the delayed work of every
// queue (not the time-outs of blocking waits), so that nothing one test left behind fires on the
// next test's clock. Main thread only.
void discardDelayedWork();

// The end of the process, before it destroys what the background work uses: delayed work is
// dropped and no queued work starts any more (what is posted from now on is dropped too), then
// this waits, at most `timeout` in real time, for the work already running to return. False
// when some is still running then. Main thread only; nothing of the dispatch runs afterwards but
// the main queue, which nobody runs.
bool shutdown(std::chrono::milliseconds timeout);

} // namespace Dispatch
} // namespace lorvantine
