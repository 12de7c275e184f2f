#include "Platform/Dispatch/Clock.h"

#include "Platform/Dispatch/Scheduler.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

namespace lorvantine {

namespace {

// Every clock ever installed stays alive: `Clock::current()` hands out references that other
// threads may still hold after the next install.
struct Installed {
    std::mutex mutex;
    std::shared_ptr<Clock> clock;
    std::vector<std::shared_ptr<Clock>> everInstalled;
};

std::atomic<Clock*> g_current { nullptr };

Installed& installed()
{
    static Installed* instance = [] {
        auto* state = new Installed;
        state->clock = std::make_shared<SteadyClock>();
        state->everInstalled.push_back(state->clock);
        g_current.store(state->clock.get(), std::memory_order_release);
        return state;
    }();
    return *instance;
}

} // namespace

Clock& Clock::current()
{
    if (Clock* clock = g_current.load(std::memory_order_acquire))
        return *clock;
    return *installed().clock;
}

std::shared_ptr<Clock> Clock::install(std::shared_ptr<Clock> clock)
{
    if (!clock)
        clock = std::make_shared<SteadyClock>();
    std::shared_ptr<Clock> previous;
    {
        auto& state = installed();
        std::lock_guard lock(state.mutex);
        previous = std::exchange(state.clock, clock);
        if (std::find(state.everInstalled.begin(), state.everInstalled.end(), clock) == state.everInstalled.end())
            state.everInstalled.push_back(clock);
        g_current.store(clock.get(), std::memory_order_release);
    }
    Scheduler::clockInstalled();
    return previous;
}

TimePoint SteadyClock::now() const { return std::chrono::steady_clock::now(); }

void SteadyClock::sleepUntil(TimePoint deadline) { std::this_thread::sleep_until(deadline); }

} // namespace lorvantine
