#pragma once

#include "Platform/Dispatch/Dispatch.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

namespace lorvantine {

// The main queue: work waits here until the main thread runs it inside the run loop.
class MainQueue final : public DispatchQueue {
public:
    // Does not claim the main thread (the scheduler and the pool post here too).
    static MainQueue& shared();

    // The first thread to claim becomes the main thread; the dispatch machinery's own threads
    // never do.
    static void claimMainThread();
    static bool isMainThread();
    static void adoptCurrentThread();
    // Claims the main thread, then aborts with `caller` named if the calling thread is not it:
    // main-queue work run elsewhere would race every window and timer.
    static void requireMainThread(const char* caller);

    void async(std::function<void()> work) override;
    // Delayed work that came due at `deadline`: it runs after what was posted before then and
    // before what was posted later, however late the loop takes it.
    void asyncDue(TimePoint deadline, std::function<void()> work);
    bool isCurrent() const override { return isMainThread(); }
    const std::string& label() const override { return m_label; }

    bool runOne();
    size_t runPending();
    bool isEmpty();

    // Blocks until work arrives, `wake` or `stop` is called, or `deadline` passes.
    void waitForWork(std::optional<std::chrono::steady_clock::time_point> deadline);
    void wake();
    void requestStop();
    bool consumeStop();
    // Whether a stop waits to be consumed, without consuming it.
    bool isStopRequested();

private:
    MainQueue() = default;

    std::mutex m_mutex;
    std::condition_variable m_changed;
    struct Item {
        TimePoint posted;
        std::function<void()> work;
        // Delayed work, posted as of its deadline: it goes before what was posted at that very
        // moment.
        bool delayed = false;
    };
    std::deque<Item> m_items;
    uint64_t m_wakeups = 0;
    bool m_stopRequested = false;
    std::string m_label { "main" };
};

} // namespace lorvantine
