#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

namespace lorvantine {

struct WorkItem::State {
    std::atomic<bool> cancelled { false };
    TimePoint deadline {};
    uint64_t sequence = 0;
    // Set when it is taken to be posted (see `Scheduler::add`).
    std::atomic<TimePoint::rep> firedAt { 0 };
};

// Holds all delayed work, ordered by deadline on the installed clock. Its thread waits in real
// time under the steady clock; under a manual clock, whoever moves the clock fires what came due,
// on its own thread, before the move returns. Under the steady clock, work for the main queue is
// fired by the main thread itself as its run loop comes to it (`fireDueMainWork`, with
// `nextMainWake` telling the loop how long it may sleep): a timer of the main run loop then wakes
// one thread, not two.
//
// Main-queue work may carry a tolerance: it may run up to that much after its deadline, never
// before. The run loop wakes at the latest deadline that still lets every waiting item keep its
// tolerance (the moment of the main wake), and whenever it turns it takes everything already
// due, so that work with some slack rides on the wake-ups of other work. Work fired late still
// runs before main-queue work posted after its deadline.
class Scheduler {
public:
    static Scheduler& shared();
    // Clock::install calls this so the thread listens to the new clock.
    static void clockInstalled();

    // `keep` holds the queue alive until the work is posted. `tolerance` counts for the main queue
    // only. When the work is taken, its item records the moment it fired: its deadline, or the
    // main wake it rode on when that came later (a repeating timer counts its next interval from
    // there).
    WorkItem add(TimePoint deadline, DispatchQueue& queue, std::shared_ptr<DispatchQueue> keep, std::function<void()> work,
                 Duration tolerance = Duration::zero());
    // Runs `work` on the thread that finds it due: it must be short and must not block.
    WorkItem addInline(TimePoint deadline, std::function<void()> work);
    void cancel(WorkItem::State&);
    // Drops every delayed work item, and from now on every one added (it comes back cancelled):
    // the process is ending.
    void close();

    // The next moment something fires: the earliest deadline of the other queues' work, or the
    // main wake.
    std::optional<TimePoint> nextDeadline();
    bool hasDue();
    // Posts (or runs) everything due by the installed clock's now, in deadline order; main-queue
    // work once its wake has come.
    size_t fireDue();
    // Main thread, each turn of its loop: posts the main-queue work that is due, in deadline
    // order, once its wake has come or when `awake` (the loop has other work anyway).
    size_t fireDueMainWork(bool awake);
    // The main wake, when the main thread is to wake for it (under the steady clock); none
    // otherwise.
    std::optional<TimePoint> nextMainWake();
    // Drops all work for queues; inline work stays (it ends blocking waits).
    void discardQueueWork();

private:
    struct Entry {
        DispatchQueue* queue = nullptr; // null: inline
        std::shared_ptr<DispatchQueue> keep;
        std::function<void()> work;
        std::shared_ptr<WorkItem::State> item;
        Duration tolerance {};
    };
    using Key = std::pair<TimePoint, uint64_t>;
    using Due = std::vector<std::pair<Key, Entry>>;

    Scheduler();
    WorkItem insert(TimePoint deadline, Entry);
    // The latest deadline of main-queue work at or before the earliest moment some of it can wait
    // no longer (with `m_mutex` held).
    std::optional<TimePoint> mainWakeLocked() const;
    // Takes the entries of `from` due by `now` (with `m_mutex` held).
    static void takeDue(std::map<Key, Entry>& from, TimePoint now, Due& due);
    // Takes the main-queue work due by `now` when its wake has come or `awake` (with `m_mutex`
    // held).
    void takeDueMainLocked(TimePoint now, bool awake, Due& due);
    size_t post(Due due);
    // Done on the installing thread, so a move of the new clock right after `install` fires.
    void listenToInstalledClock();
    void threadLoop();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<Key, Entry> m_entries;     // for the other queues, and inline work
    std::map<Key, Entry> m_mainEntries; // for the main queue
    std::set<Key> m_mainLatest;         // (deadline + tolerance, sequence) of each main entry
    uint64_t m_sequence = 0;
    bool m_clockReportsMoves = false;
    bool m_closed = false;
    std::mutex m_listening;
    std::shared_ptr<void> m_listenerToken;
    std::mutex m_firing; // keeps batches that fire concurrently in order
    std::thread m_thread;
};

} // namespace lorvantine
