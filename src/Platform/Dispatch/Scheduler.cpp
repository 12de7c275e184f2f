#include "Platform/Dispatch/Scheduler.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Dispatch/ThreadPool.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <utility>
#include <vector>

namespace lorvantine {

namespace {
std::atomic<Scheduler*> g_scheduler { nullptr };
} // namespace

Scheduler& Scheduler::shared()
{
    static Scheduler* instance = [] {
        auto* scheduler = new Scheduler;
        g_scheduler.store(scheduler, std::memory_order_release);
        scheduler->listenToInstalledClock();
        return scheduler;
    }();
    return *instance;
}

void Scheduler::clockInstalled()
{
    if (Scheduler* scheduler = g_scheduler.load(std::memory_order_acquire))
        scheduler->listenToInstalledClock();
}

Scheduler::Scheduler()
    : m_thread([this] { threadLoop(); })
{
}

void Scheduler::listenToInstalledClock()
{
    std::shared_ptr<void> previousToken;
    std::lock_guard listening(m_listening);
    // Reads the clock under `m_listening`: of two racing installs, the later one's clock wins.
    auto token = Clock::current().addAdvanceListener([this] { fireDue(); });
    previousToken = std::exchange(m_listenerToken, token);
    {
        std::lock_guard lock(m_mutex);
        m_clockReportsMoves = token != nullptr;
        m_changed.notify_all();
    }
    // Who fires main-queue work may have changed: the main thread looks again.
    MainQueue::shared().wake();
}

WorkItem Scheduler::add(TimePoint deadline, DispatchQueue& queue, std::shared_ptr<DispatchQueue> keep, std::function<void()> work,
                        Duration tolerance)
{
    const bool forMain = &queue == &MainQueue::shared();
    return insert(deadline, Entry { &queue, std::move(keep), std::move(work), nullptr,
                                    forMain ? std::max(tolerance, Duration::zero()) : Duration::zero() });
}

WorkItem Scheduler::addInline(TimePoint deadline, std::function<void()> work)
{
    return insert(deadline, Entry { nullptr, nullptr, std::move(work), nullptr, {} });
}

WorkItem Scheduler::insert(TimePoint deadline, Entry entry)
{
    auto item = std::make_shared<WorkItem::State>();
    item->deadline = deadline;
    entry.item = item;
    const bool forMain = entry.queue == &MainQueue::shared();
    bool wakeMain = false;
    {
        std::unique_lock lock(m_mutex);
        if (m_closed) {
            lock.unlock();
            item->cancelled.store(true);
            return WorkItem(std::move(item));
        }
        item->sequence = ++m_sequence;
        Key key { deadline, item->sequence };
        bool earliest = false;
        if (forMain) {
            Key latest { deadline + entry.tolerance, item->sequence };
            earliest = m_mainLatest.empty() || latest < *m_mainLatest.begin();
            m_mainLatest.insert(latest);
            m_mainEntries.emplace(key, std::move(entry));
        } else {
            earliest = m_entries.empty() || key < m_entries.begin()->first;
            m_entries.emplace(key, std::move(entry));
        }
        // The main thread may be asleep until a later wake of its own.
        wakeMain = earliest && forMain && !m_clockReportsMoves;
        // This thread waits for main-queue work only under a manual clock.
        if (earliest && (!forMain || m_clockReportsMoves))
            m_changed.notify_all();
    }
    if (wakeMain)
        MainQueue::shared().wake();
    return WorkItem(std::move(item));
}

void Scheduler::cancel(WorkItem::State& item)
{
    item.cancelled.store(true);
    std::map<Key, Entry>::node_type dropped;
    {
        std::lock_guard lock(m_mutex);
        const Key key { item.deadline, item.sequence };
        dropped = m_entries.extract(key);
        if (!dropped) {
            dropped = m_mainEntries.extract(key);
            if (dropped)
                m_mainLatest.erase(Key { item.deadline + dropped.mapped().tolerance, item.sequence });
        }
    }
    // `dropped` releases the work's captures here, outside the lock.
}

void Scheduler::discardQueueWork()
{
    std::map<Key, Entry> dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped = std::exchange(m_mainEntries, {});
        m_mainLatest.clear();
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (it->second.queue)
                dropped.insert(m_entries.extract(it++));
            else
                ++it;
        }
    }
    for (auto& [key, entry] : dropped)
        entry.item->cancelled.store(true);
    // `dropped` releases the work's captures here, outside the lock.
}

void Scheduler::close()
{
    std::map<Key, Entry> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_entries);
        dropped.merge(m_mainEntries);
        m_mainLatest.clear();
    }
    // The work's captures are released here, outside the lock.
}

std::optional<TimePoint> Scheduler::mainWakeLocked() const
{
    if (m_mainLatest.empty())
        return std::nullopt;
    // The entry that can wait least has its deadline at or before its latest moment, so some
    // deadline is found.
    const TimePoint latest = m_mainLatest.begin()->first;
    auto after = m_mainEntries.upper_bound(Key { latest, UINT64_MAX });
    return std::prev(after)->first.first;
}

std::optional<TimePoint> Scheduler::nextDeadline()
{
    std::lock_guard lock(m_mutex);
    std::optional<TimePoint> next = mainWakeLocked();
    if (!m_entries.empty() && (!next || m_entries.begin()->first.first < *next))
        next = m_entries.begin()->first.first;
    return next;
}

std::optional<TimePoint> Scheduler::nextMainWake()
{
    std::lock_guard lock(m_mutex);
    if (m_clockReportsMoves)
        return std::nullopt;
    return mainWakeLocked();
}

void Scheduler::takeDue(std::map<Key, Entry>& from, TimePoint now, Due& due)
{
    while (!from.empty() && from.begin()->first.first <= now) {
        from.begin()->second.item->firedAt.store(from.begin()->first.first.time_since_epoch().count());
        due.emplace_back(from.begin()->first, std::move(from.begin()->second));
        from.erase(from.begin());
    }
}

void Scheduler::takeDueMainLocked(TimePoint now, bool awake, Due& due)
{
    const std::optional<TimePoint> wake = mainWakeLocked();
    if (!wake || (*wake > now && !awake))
        return;
    // Work that waited for this wake fired at it; work taken early on a turn of the loop, now.
    const TimePoint moment = std::min(now, *wake);
    const size_t first = due.size();
    takeDue(m_mainEntries, now, due);
    for (size_t i = first; i < due.size(); ++i) {
        auto& [key, entry] = due[i];
        m_mainLatest.erase(Key { key.first + entry.tolerance, key.second });
        entry.item->firedAt.store(std::max(key.first, moment).time_since_epoch().count());
    }
}

bool Scheduler::hasDue()
{
    auto next = nextDeadline();
    return next && *next <= Clock::current().now();
}

size_t Scheduler::fireDue()
{
    std::lock_guard firing(m_firing);
    TimePoint now = Clock::current().now();
    Due due;
    {
        std::lock_guard lock(m_mutex);
        takeDue(m_entries, now, due);
        takeDueMainLocked(now, false, due);
        // Counted before the entries leave the lock, so nobody sees the system idle in between.
        if (!due.empty())
            Activity::add(+1);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return post(std::move(due));
}

size_t Scheduler::fireDueMainWork(bool awake)
{
    std::lock_guard firing(m_firing);
    Due due;
    {
        std::lock_guard lock(m_mutex);
        takeDueMainLocked(Clock::current().now(), awake, due);
        if (due.empty())
            return 0;
        Activity::add(+1);
    }
    return post(std::move(due));
}

// Posts (or runs) `due`, in order, and gives back the activity its taking counted.
size_t Scheduler::post(Due due)
{
    for (auto& [key, entry] : due) {
        if (entry.item->cancelled.load())
            continue;
        if (!entry.queue) {
            entry.work();
            continue;
        }
        auto work = [item = entry.item, work = std::move(entry.work)] {
            if (!item->cancelled.load())
                work();
        };
        if (entry.queue == &MainQueue::shared())
            MainQueue::shared().asyncDue(key.first, std::move(work));
        else
            entry.queue->async(std::move(work));
    }
    size_t fired = due.size();
    if (fired) {
        due.clear();
        Activity::add(-1);
    }
    return fired;
}

void Scheduler::threadLoop()
{
    ThreadPool::markInternalThread("lv-scheduler");
    std::unique_lock lock(m_mutex);
    for (;;) {
        // The main thread fires its own work under the steady clock.
        const TimePoint now = Clock::current().now();
        const std::optional<TimePoint> mainWake = m_clockReportsMoves ? mainWakeLocked() : std::nullopt;
        const bool due = (!m_entries.empty() && m_entries.begin()->first.first <= now) || (mainWake && *mainWake <= now);
        if (due) {
            lock.unlock();
            fireDue();
            lock.lock();
            continue;
        }
        // Under a manual clock, whoever moves it fires what comes due; here only what was added
        // already due.
        if (m_entries.empty() || m_clockReportsMoves) {
            m_changed.wait(lock);
        } else {
            // A copy: cancelling erases the entry while this thread waits.
            const TimePoint deadline = m_entries.begin()->first.first;
            m_changed.wait_until(lock, deadline);
        }
    }
}

} // namespace lorvantine
