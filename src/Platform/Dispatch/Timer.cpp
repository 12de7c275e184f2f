#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Dispatch/Scheduler.h"

#include <algorithm>
#include <unordered_map>
#include <vector>
#include <utility>

namespace lorvantine {

namespace {

constexpr Duration minimumInterval = std::chrono::microseconds(100);

// The run loop's hold on valid timers.
struct Registry {
    std::mutex mutex;
    std::unordered_map<const Timer*, std::shared_ptr<Timer>> timers;
};

Registry& registry()
{
    static Registry* instance = new Registry;
    return *instance;
}

} // namespace

std::shared_ptr<Timer> Timer::scheduled(Duration interval, Repeats repeats, std::function<void(Timer&)> block)
{
    MainQueue::claimMainThread();
    std::shared_ptr<Timer> timer(new Timer(std::max(interval, minimumInterval), repeats, std::move(block)));
    timer->m_self = timer;
    {
        auto& timers = registry();
        std::lock_guard lock(timers.mutex);
        timers.timers.emplace(timer.get(), timer);
    }
    {
        std::lock_guard lock(timer->m_lock);
        timer->m_fireTime = Clock::current().now() + timer->m_interval;
    }
    timer->arm();
    return timer;
}

Timer::Timer(Duration interval, Repeats repeats, std::function<void(Timer&)> block)
    : m_interval(interval)
    , m_repeats(repeats)
    , m_block(std::move(block))
{
}

Timer::~Timer()
{
    WorkItem pending;
    {
        std::lock_guard lock(m_lock);
        m_valid = false;
        pending = m_pending;
    }
    pending.cancel();
}

void Timer::arm()
{
    std::lock_guard lock(m_lock);
    if (!m_valid)
        return;
    m_pending = Scheduler::shared().add(
        m_fireTime, MainQueue::shared(), nullptr,
        [weakTimer = m_self] {
            if (auto timer = weakTimer.lock())
                timer->fire();
        },
        m_tolerance);
}

void Timer::setTolerance(Duration tolerance)
{
    WorkItem pending;
    {
        std::lock_guard lock(m_lock);
        tolerance = std::max(tolerance, Duration::zero());
        if (!m_valid || tolerance == m_tolerance)
            return;
        m_tolerance = tolerance;
        pending = std::exchange(m_pending, WorkItem());
    }
    // Armed again for the same time, with the new slack.
    pending.cancel();
    arm();
}

Duration Timer::tolerance() const
{
    std::lock_guard lock(m_lock);
    return m_tolerance;
}

void Timer::fire()
{
    std::function<void(Timer&)> block;
    {
        std::lock_guard lock(m_lock);
        if (!m_valid)
            return;
        // Moved out while it runs, so that invalidating from inside the block can release it.
        block = std::move(m_block);
    }
    if (block)
        block(*this);
    bool rearm = false;
    {
        std::lock_guard lock(m_lock);
        if (m_valid && m_repeats == Repeats::yes) {
            m_block = std::move(block);
            TimePoint now = Clock::current().now();
            // On time this is the fire time itself; a tolerant timer that waited for a later
            // wake-up goes on from there.
            if (m_pending && m_pending.m_state->firedAt.load() != 0)
                m_fireTime = std::max(m_fireTime, TimePoint(Duration(m_pending.m_state->firedAt.load())));
            m_fireTime += m_interval;
            if (m_fireTime <= now)
                m_fireTime += m_interval * ((now - m_fireTime) / m_interval + 1);
            rearm = true;
        }
    }
    if (rearm)
        arm();
    else
        invalidate();
}

void Timer::invalidate()
{
    std::shared_ptr<Timer> self; // released last: it may hold the final reference
    std::function<void(Timer&)> block;
    WorkItem pending;
    {
        std::lock_guard lock(m_lock);
        m_valid = false;
        block = std::move(m_block);
        m_block = nullptr;
        pending = std::exchange(m_pending, WorkItem());
    }
    pending.cancel();
    auto& timers = registry();
    std::lock_guard lock(timers.mutex);
    if (auto it = timers.timers.find(this); it != timers.timers.end()) {
        self = std::move(it->second);
        timers.timers.erase(it);
    }
}

bool Timer::isValid() const { return m_valid; }

void Dispatch::discardDelayedWork()
{
    MainQueue::requireMainThread("Dispatch::discardDelayedWork");
    std::vector<std::shared_ptr<Timer>> valid;
    {
        auto& timers = registry();
        std::lock_guard lock(timers.mutex);
        for (const auto& [raw, timer] : timers.timers)
            valid.push_back(timer);
    }
    for (const auto& timer : valid)
        timer->invalidate();
    Scheduler::shared().discardQueueWork();
}

} // namespace lorvantine
