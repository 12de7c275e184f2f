#include "Platform/Dispatch/Dispatch.h"

#include "Platform/Dispatch/BlockingWait.h"

#include <deque>
#include <mutex>

namespace lorvantine {

struct Semaphore::State {
    std::mutex mutex;
    long value = 0;
    std::deque<std::shared_ptr<Activity::Waiter>> waiters;
};

Semaphore::Semaphore(int value)
    : m_state(std::make_shared<State>())
{
    m_state->value = value;
}

Semaphore::~Semaphore() = default;

void Semaphore::signal()
{
    // Held so a waiter that returns and destroys the semaphore cannot free the state under us.
    auto state = m_state;
    std::lock_guard lock(state->mutex);
    if (state->waiters.empty()) {
        ++state->value;
        return;
    }
    auto waiter = std::move(state->waiters.front());
    state->waiters.pop_front();
    waiter->finished = true;
    Activity::resume(waiter->mark);
    waiter->wakeup.notify_one();
}

void Semaphore::wait()
{
    auto state = m_state;
    std::unique_lock lock(state->mutex);
    if (state->value > 0) {
        --state->value;
        return;
    }
    blockingWait(state, lock, std::nullopt);
}

bool Semaphore::wait(Duration timeout)
{
    auto state = m_state;
    std::unique_lock lock(state->mutex);
    if (state->value > 0) {
        --state->value;
        return true;
    }
    return blockingWait(state, lock, timeout);
}

} // namespace lorvantine
