#include "Platform/Dispatch/MainQueue.h"

#include "Platform/Dispatch/QueueScope.h"
#include "Platform/Dispatch/Scheduler.h"
#include "Platform/Dispatch/ThreadPool.h"

#include "Support/Log.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>

namespace lorvantine {

namespace {
std::atomic<std::thread::id> g_mainThread {};
} // namespace

MainQueue& MainQueue::shared()
{
    static MainQueue* instance = new MainQueue;
    return *instance;
}

void MainQueue::claimMainThread()
{
    if (g_mainThread.load(std::memory_order_acquire) != std::thread::id() || ThreadPool::isInternalThread())
        return;
    std::thread::id unclaimed;
    g_mainThread.compare_exchange_strong(unclaimed, std::this_thread::get_id());
}

bool MainQueue::isMainThread()
{
    claimMainThread();
    return g_mainThread.load(std::memory_order_acquire) == std::this_thread::get_id();
}

void MainQueue::adoptCurrentThread()
{
    if (!ThreadPool::isInternalThread())
        g_mainThread.store(std::this_thread::get_id(), std::memory_order_release);
}

void MainQueue::requireMainThread(const char* caller)
{
    if (isMainThread())
        return;
    Log::line(std::string("[Dispatch] ") + caller + " called off the main thread");
    std::abort();
}

void MainQueue::async(std::function<void()> work)
{
    const TimePoint now = Clock::current().now();
    {
        std::lock_guard lock(m_mutex);
        m_items.push_back({ now, std::move(work), false });
    }
    // Outside the lock, or the woken main thread would at once wait for it again.
    m_changed.notify_all();
}

void MainQueue::asyncDue(TimePoint deadline, std::function<void()> work)
{
    {
        std::lock_guard lock(m_mutex);
        auto later = std::find_if(m_items.rbegin(), m_items.rend(), [&](const Item& item) {
                         return item.posted < deadline || (item.posted == deadline && item.delayed);
                     }).base();
        m_items.insert(later, { deadline, std::move(work), true });
    }
    m_changed.notify_all();
}

bool MainQueue::runOne()
{
    // Timers of the main run loop that came due join the queue first, in their place.
    Scheduler::shared().fireDueMainWork(!isEmpty());
    std::function<void()> work;
    {
        std::lock_guard lock(m_mutex);
        if (m_items.empty())
            return false;
        work = std::move(m_items.front().work);
        m_items.pop_front();
    }
    QueueScope scope(this);
    work();
    return true;
}

size_t MainQueue::runPending()
{
    size_t ran = 0;
    while (runOne())
        ++ran;
    return ran;
}

bool MainQueue::isEmpty()
{
    std::lock_guard lock(m_mutex);
    return m_items.empty();
}

void MainQueue::waitForWork(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    std::unique_lock lock(m_mutex);
    uint64_t wakeups = m_wakeups;
    // Read after `wakeups`: work scheduled for earlier from now on calls `wake`.
    if (auto timer = Scheduler::shared().nextMainWake(); timer && (!deadline || *timer < *deadline))
        deadline = *timer;
    auto ready = [&] { return !m_items.empty() || m_stopRequested || m_wakeups != wakeups; };
    if (deadline)
        m_changed.wait_until(lock, *deadline, ready);
    else
        m_changed.wait(lock, ready);
}

void MainQueue::wake()
{
    {
        std::lock_guard lock(m_mutex);
        ++m_wakeups;
    }
    m_changed.notify_all();
}

void MainQueue::requestStop()
{
    std::lock_guard lock(m_mutex);
    m_stopRequested = true;
    m_changed.notify_all();
}

bool MainQueue::isStopRequested()
{
    std::lock_guard lock(m_mutex);
    return m_stopRequested;
}

bool MainQueue::consumeStop()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_stopRequested, false);
}

} // namespace lorvantine
