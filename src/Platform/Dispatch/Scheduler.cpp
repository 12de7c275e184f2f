#include "Platform/Dispatch/Scheduler.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/ThreadPool.h"

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
    std::lock_guard lock(m_mutex);
    m_clockReportsMoves = token != nullptr;
    m_changed.notify_all();
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
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        lock.unlock();
        item->cancelled.store(true);
        return WorkItem(std::move(item));
    }
    item->sequence = ++m_sequence;
    Key key { deadline, item->sequence };
    bool earliest = m_entries.empty() || key < m_entries.begin()->first;
    m_entries.emplace(key, std::move(entry));
    if (earliest)
        m_changed.notify_all();
    return WorkItem(std::move(item));
}

void Scheduler::cancel(WorkItem::State& item)
{
    item.cancelled.store(true);
    std::map<Key, Entry>::node_type dropped;
    {
        std::lock_guard lock(m_mutex);
        dropped = m_entries.extract(Key { item.deadline, item.sequence });
    }
    // `dropped` releases the work's captures here, outside the lock.
}

void Scheduler::close()
{
    std::map<Key, Entry> dropped;
    {
        std::lock_guard lock(m_mutex);
        m_closed = true;
        dropped.swap(m_entries);
    }
    // The work's captures are released here, outside the lock.
}

std::optional<TimePoint> Scheduler::nextDeadline()
{
    std::lock_guard lock(m_mutex);
    if (m_entries.empty())
        return std::nullopt;
    return m_entries.begin()->first.first;
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
    std::vector<Entry> due;
    {
        std::lock_guard lock(m_mutex);
        while (!m_entries.empty() && m_entries.begin()->first.first <= now) {
            due.push_back(std::move(m_entries.begin()->second));
            m_entries.erase(m_entries.begin());
        }
        // Counted before the entries leave the lock, so nobody sees the system idle in between.
        if (!due.empty())
            Activity::add(+1);
    }
    for (auto& entry : due) {
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
        if (!m_entries.empty() && m_entries.begin()->first.first <= Clock::current().now()) {
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
