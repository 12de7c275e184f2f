#include "Platform/Dispatch/ThreadPool.h"

#include "Support/Log.h"

#include <algorithm>
#include <pthread.h>
#include <system_error>

namespace lorvantine {

namespace {
thread_local bool t_poolThread = false;
thread_local bool t_internalThread = false;
} // namespace

ThreadPool& ThreadPool::shared()
{
    static ThreadPool* instance = new ThreadPool;
    return *instance;
}

ThreadPool::ThreadPool()
    : m_target(std::max(4, static_cast<int>(std::thread::hardware_concurrency())))
{
}

bool ThreadPool::isPoolThread() { return t_poolThread; }
bool ThreadPool::isInternalThread() { return t_internalThread; }

void ThreadPool::markInternalThread(const char* name)
{
    t_internalThread = true;
    pthread_setname_np(pthread_self(), name);
}

void ThreadPool::submit(std::function<void()> job)
{
    std::unique_lock lock(m_mutex);
    if (m_closed) {
        lock.unlock();
        // What the job holds goes here, outside the lock.
        job = nullptr;
        return;
    }
    m_jobs.push_back(std::move(job));
    if (static_cast<int>(m_jobs.size()) > m_idle)
        spawnIfAllowed();
    m_jobAvailable.notify_one();
}

void ThreadPool::blockedChanged(int delta)
{
    std::lock_guard lock(m_mutex);
    m_blocked += delta;
    if (delta > 0 && static_cast<int>(m_jobs.size()) > m_idle)
        spawnIfAllowed();
}

void ThreadPool::spawnIfAllowed()
{
    int threads = static_cast<int>(m_threads.size());
    if (threads - m_blocked >= m_target || threads >= maximumThreads)
        return;
    try {
        m_threads.emplace_back([this] { workerLoop(); });
    } catch (const std::system_error& error) {
        Log::line(std::string("[Dispatch] cannot start a worker thread: ") + error.what());
    }
}

void ThreadPool::workerLoop()
{
    t_poolThread = true;
    markInternalThread("lv-pool");
    std::unique_lock lock(m_mutex);
    for (;;) {
        while (m_jobs.empty()) {
            ++m_idle;
            m_jobAvailable.wait(lock);
            --m_idle;
        }
        auto job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
        if (--m_running == 0)
            m_jobFinished.notify_all();
    }
}

bool ThreadPool::closeAndWait(std::chrono::steady_clock::time_point deadline)
{
    std::deque<std::function<void()>> dropped;
    std::unique_lock lock(m_mutex);
    m_closed = true;
    dropped.swap(m_jobs);
    lock.unlock();
    dropped.clear();
    lock.lock();
    return m_jobFinished.wait_until(lock, deadline, [this] { return m_running == 0; });
}

bool ThreadPool::isClosed()
{
    std::lock_guard lock(m_mutex);
    return m_closed;
}

} // namespace lorvantine
