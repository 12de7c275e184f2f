#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

namespace lorvantine {

struct WorkItem::State {
    std::atomic<bool> cancelled { false };
    TimePoint deadline {};
    uint64_t sequence = 0;
};

// Holds all delayed work, ordered by deadline on the installed clock. Its thread waits in real
// time under the steady clock; under a manual clock, whoever moves the clock fires what came due,
// on its own thread, before the move returns.
class Scheduler {
public:
    static Scheduler& shared();
    // Clock::install calls this so the thread listens to the new clock.
    static void clockInstalled();

    // `keep` holds the queue alive until the work is posted.
    WorkItem add(TimePoint deadline, DispatchQueue& queue, std::shared_ptr<DispatchQueue> keep, std::function<void()> work);
    // Runs `work` on the thread that finds it due: it must be short and must not block.
    WorkItem addInline(TimePoint deadline, std::function<void()> work);
    void cancel(WorkItem::State&);
    // Drops every delayed work item, and from now on every one added (it comes back cancelled):
    // the process is ending.
    void close();

    std::optional<TimePoint> nextDeadline();
    bool hasDue();
    // Posts (or runs) everything due by the installed clock's now, in deadline order.
    size_t fireDue();

private:
    struct Entry {
        DispatchQueue* queue = nullptr; // null: inline
        std::shared_ptr<DispatchQueue> keep;
        std::function<void()> work;
        std::shared_ptr<WorkItem::State> item;
    };
    using Key = std::pair<TimePoint, uint64_t>;

    Scheduler();
    WorkItem insert(TimePoint deadline, Entry);
    // Done on the installing thread, so a move of the new clock right after `install` fires.
    void listenToInstalledClock();
    void threadLoop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<Key, Entry> m_entries;
    uint64_t m_sequence = 0;
    bool m_clockReportsMoves = false;
    bool m_closed = false;
    std::mutex m_listening;
    std::shared_ptr<void> m_listenerToken;
    std::mutex m_firing; // keeps batches that fire concurrently in order
    std::thread m_thread;
};

} // namespace lorvantine
