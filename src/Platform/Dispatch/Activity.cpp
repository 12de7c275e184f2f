#include "Platform/Dispatch/Activity.h"

#include "Platform/Dispatch/ThreadPool.h"

#include <mutex>

namespace lorvantine::Activity {

namespace {

struct State {
    std::mutex mutex;
    std::condition_variable idle;
    long units = 0;
};

State& state()
{
    static State* instance = new State;
    return *instance;
}

} // namespace

void add(long units)
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    s.units += units;
    if (s.units == 0)
        s.idle.notify_all();
}

bool isIdle()
{
    auto& s = state();
    std::lock_guard lock(s.mutex);
    return s.units <= 0;
}

bool waitIdle(std::chrono::steady_clock::time_point deadline)
{
    auto& s = state();
    std::unique_lock lock(s.mutex);
    return s.idle.wait_until(lock, deadline, [&] { return s.units <= 0; });
}

void beginWait(WaitMark& mark)
{
    if (!ThreadPool::isPoolThread() || mark.counted)
        return;
    mark.counted = true;
    add(-1);
    ThreadPool::shared().blockedChanged(+1);
}

void resume(WaitMark& mark)
{
    if (!mark.counted)
        return;
    mark.counted = false;
    add(+1);
    ThreadPool::shared().blockedChanged(-1);
}

} // namespace lorvantine::Activity
