#include "Platform/Dispatch/Scheduler.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Dispatch/ThreadPool.h"

#include <algorithm>
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

WorkItem Scheduler::add(TimePoint deadline, DispatchQueue& queue, std::shared_ptr<DispatchQueue> keep, std::function<void()> work)
{
    return insert(deadline, Entry { &queue, std::move(keep), std::move(work), nullptr });
}

WorkItem Scheduler::addInline(TimePoint deadline, std::function<void()> work)
{
    return insert(deadline, Entry { nullptr, nullptr, std::move(work), nullptr });
}

WorkItem Scheduler::insert(TimePoint deadline, Entry entry)
{
    auto item = std::make_shared<WorkItem::State>();
    item->deadline = deadline;
    entry.item = item;
    const bool forMain = entry.queue == &MainQueue::shared();
    bool wakeMain = false;
    {
        std::lock_guard lock(m_mutex);
        item->sequence = ++m_sequence;
        Key key { deadline, item->sequence };
        auto& entries = forMain ? m_mainEntries : m_entries;
        bool earliest = entries.empty() || key < entries.begin()->first;
        entries.emplace(key, std::move(entry));
        // The main thread may be asleep until a later deadline of its own.
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
        dropped = m_entries.extract(Key { item.deadline, item.sequence });
        if (!dropped)
            dropped = m_mainEntries.extract(Key { item.deadline, item.sequence });
    }
    // `dropped` releases the work's captures here, outside the lock.
}

std::optional<TimePoint> Scheduler::nextDeadline()
{
    std::lock_guard lock(m_mutex);
    std::optional<TimePoint> next;
    for (const auto* entries : { &m_entries, &m_mainEntries })
        if (!entries->empty() && (!next || entries->begin()->first.first < *next))
            next = entries->begin()->first.first;
    return next;
}

std::optional<TimePoint> Scheduler::nextMainWake()
{
    std::lock_guard lock(m_mutex);
    if (m_clockReportsMoves || m_mainEntries.empty())
        return std::nullopt;
    return m_mainEntries.begin()->first.first;
}

void Scheduler::takeDue(std::map<Key, Entry>& from, TimePoint now, std::vector<std::pair<Key, Entry>>& due)
{
    while (!from.empty() && from.begin()->first.first <= now) {
        due.emplace_back(from.begin()->first, std::move(from.begin()->second));
        from.erase(from.begin());
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
    std::vector<std::pair<Key, Entry>> due;
    {
        std::lock_guard lock(m_mutex);
        takeDue(m_entries, now, due);
        takeDue(m_mainEntries, now, due);
        // Counted before the entries leave the lock, so nobody sees the system idle in between.
        if (!due.empty())
            Activity::add(+1);
    }
    std::sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return post(std::move(due));
}

size_t Scheduler::fireDueMainWork()
{
    std::lock_guard firing(m_firing);
    std::vector<std::pair<Key, Entry>> due;
    {
        std::lock_guard lock(m_mutex);
        takeDue(m_mainEntries, Clock::current().now(), due);
        if (due.empty())
            return 0;
        Activity::add(+1);
    }
    return post(std::move(due));
}

// Posts (or runs) `due`, in order, and gives back the activity its taking counted.
size_t Scheduler::post(std::vector<std::pair<Key, Entry>> due)
{
    for (auto& [key, entry] : due) {
        if (entry.item->cancelled.load())
            continue;
        if (!entry.queue) {
            entry.work();
            continue;
        }
        entry.queue->async([item = entry.item, work = std::move(entry.work)] {
            if (!item->cancelled.load())
                work();
        });
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
        const bool mainToo = m_clockReportsMoves;
        const bool due = (!m_entries.empty() && m_entries.begin()->first.first <= Clock::current().now())
            || (mainToo && !m_mainEntries.empty() && m_mainEntries.begin()->first.first <= Clock::current().now());
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
