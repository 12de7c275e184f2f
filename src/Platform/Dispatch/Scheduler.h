#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lorvantine {

struct WorkItem::State {
    std::atomic<bool> cancelled { false };
    TimePoint deadline {};
    uint64_t sequence = 0;
};

// Holds all delayed work, ordered by deadline on the installed clock. Its thread waits in real
// time under the steady clock; under a manual clock, whoever moves the clock fires what came due,
// on its own thread, before the move returns. Under the steady clock, work for the main queue is
// fired by the main thread itself as its run loop comes to it (`fireDueMainWork`, with
// `nextMainWake` telling the loop how long it may sleep): a timer of the main run loop then wakes
// one thread, not two.
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

    std::optional<TimePoint> nextDeadline();
    bool hasDue();
    // Posts (or runs) everything due by the installed clock's now, in deadline order.
    size_t fireDue();
    // Main thread: posts the main-queue work that is due, in deadline order.
    size_t fireDueMainWork();
    // The earliest deadline of main-queue work, when the main thread is to wake for it (under the
    // steady clock); none otherwise.
    std::optional<TimePoint> nextMainWake();

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
    // Takes the entries of `from` due by `now` (with `m_mutex` held).
    static void takeDue(std::map<Key, Entry>& from, TimePoint now, std::vector<std::pair<Key, Entry>>& due);
    size_t post(std::vector<std::pair<Key, Entry>> due);
    // Done on the installing thread, so a move of the new clock right after `install` fires.
    void listenToInstalledClock();
    void threadLoop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<Key, Entry> m_entries;     // for the other queues, and inline work
    std::map<Key, Entry> m_mainEntries; // for the main queue
    uint64_t m_sequence = 0;
    bool m_clockReportsMoves = false;
    std::mutex m_listening;
    std::shared_ptr<void> m_listenerToken;
    std::mutex m_firing; // keeps batches that fire concurrently in order
    std::thread m_thread;
};

} // namespace lorvantine
