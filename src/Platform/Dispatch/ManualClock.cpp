#include "Platform/Dispatch/Clock.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/MainQueue.h"

#include <map>
#include <mutex>
#include <vector>

namespace lorvantine {

namespace {
constexpr TimePoint manualClockStart { std::chrono::seconds(1000) };
} // namespace

struct ManualClock::State {
    std::atomic<TimePoint::rep> now { manualClockStart.time_since_epoch().count() };
    std::atomic<bool> mainThreadSleepsAdvance { false };
    mutable std::mutex mutex;
    std::multimap<TimePoint, std::shared_ptr<Activity::Waiter>> sleepers;
    std::map<uint64_t, std::function<void()>> listeners;
    uint64_t nextListenerId = 0;

    void wakeLocked(Activity::Waiter& sleeper)
    {
        sleeper.finished = true;
        Activity::resume(sleeper.mark);
        sleeper.wakeup.notify_all();
    }
};

namespace {

struct ListenerToken {
    std::function<void()> remove;
    ~ListenerToken() { remove(); }
};

} // namespace

ManualClock::ManualClock()
    : m_state(std::make_shared<State>())
{
}

ManualClock::~ManualClock()
{
    // Sleepers must not outlive the clock they sleep on.
    std::lock_guard lock(m_state->mutex);
    for (auto& [deadline, sleeper] : m_state->sleepers)
        m_state->wakeLocked(*sleeper);
    m_state->sleepers.clear();
    m_state->listeners.clear();
}

TimePoint ManualClock::now() const { return TimePoint(Duration(m_state->now.load(std::memory_order_acquire))); }

void ManualClock::sleepUntil(TimePoint deadline)
{
    if (m_state->mainThreadSleepsAdvance.load() && MainQueue::isMainThread()) {
        set(deadline);
        return;
    }
    auto state = m_state;
    std::unique_lock lock(state->mutex);
    if (deadline <= TimePoint(Duration(state->now.load())))
        return;
    auto sleeper = std::make_shared<Activity::Waiter>();
    state->sleepers.emplace(deadline, sleeper);
    Activity::beginWait(sleeper->mark);
    sleeper->wakeup.wait(lock, [&] { return sleeper->finished; });
    Activity::resume(sleeper->mark);
}

std::shared_ptr<void> ManualClock::addAdvanceListener(std::function<void()> listener)
{
    std::lock_guard lock(m_state->mutex);
    uint64_t id = ++m_state->nextListenerId;
    m_state->listeners.emplace(id, std::move(listener));
    auto token = std::make_shared<ListenerToken>();
    token->remove = [weakState = std::weak_ptr<State>(m_state), id] {
        auto state = weakState.lock();
        if (!state)
            return;
        std::function<void()> dropped;
        std::lock_guard stateLock(state->mutex);
        auto it = state->listeners.find(id);
        if (it != state->listeners.end()) {
            dropped = std::move(it->second);
            state->listeners.erase(it);
        }
    };
    return token;
}

void ManualClock::advance(Duration d)
{
    if (d > Duration::zero())
        set(now() + d);
}

void ManualClock::set(TimePoint t)
{
    std::vector<std::function<void()>> listeners;
    {
        std::lock_guard lock(m_state->mutex);
        if (t <= TimePoint(Duration(m_state->now.load())))
            return;
        m_state->now.store(t.time_since_epoch().count(), std::memory_order_release);
        auto& sleepers = m_state->sleepers;
        while (!sleepers.empty() && sleepers.begin()->first <= t) {
            m_state->wakeLocked(*sleepers.begin()->second);
            sleepers.erase(sleepers.begin());
        }
        for (auto& [id, listener] : m_state->listeners)
            listeners.push_back(listener);
    }
    for (auto& listener : listeners)
        listener();
}

void ManualClock::setMainThreadSleepsAdvance(bool on) { m_state->mainThreadSleepsAdvance.store(on); }

std::optional<TimePoint> ManualClock::nextSleepDeadline() const
{
    std::lock_guard lock(m_state->mutex);
    if (m_state->sleepers.empty())
        return std::nullopt;
    return m_state->sleepers.begin()->first;
}

} // namespace lorvantine
