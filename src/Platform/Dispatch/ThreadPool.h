#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace lorvantine {

// The threads behind every global and serial queue. Keeps max(4, cores) threads running that
// are not blocked in one of our waits, adding threads (up to a hard cap) while others block so
// that work waiting behind blocked work still runs. Threads live for the whole process: the
// pool is never destroyed. What its work uses may be: the process closes the pool and waits for
// the work running before it ends (`Dispatch::shutdown`).
class ThreadPool {
public:
    static ThreadPool& shared();

    // Dropped once the pool is closed.
    void submit(std::function<void()> job);
    // From now on no job starts: those waiting are dropped, later ones too. Answers true once the
    // jobs running have returned, false when `deadline` passes first. Any thread but a pool one.
    bool closeAndWait(std::chrono::steady_clock::time_point deadline);
    bool isClosed();
    // A pool thread entered (+1) or left (-1) a blocking wait.
    void blockedChanged(int delta);

    static bool isPoolThread();
    // Threads that belong to the dispatch machinery (pool, scheduler): never the main thread.
    static bool isInternalThread();
    static void markInternalThread(const char* name);

private:
    ThreadPool();
    void spawnIfAllowed();
    void workerLoop();

    std::mutex m_mutex;
    std::condition_variable m_jobAvailable;
    std::deque<std::function<void()>> m_jobs;
    std::vector<std::thread> m_threads;
    std::condition_variable m_jobFinished;
    int m_idle = 0;
    int m_blocked = 0;
    int m_running = 0;
    bool m_closed = false;
    int m_target = 4;
    static constexpr int maximumThreads = 64;
};

} // namespace lorvantine
