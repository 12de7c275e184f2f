#pragma once

#include "Platform/Dispatch/Clock.h"

#include <atomic>
#include <memory>
#include <thread>

namespace lorvantine::test {

// A manual clock that a thread of its own moves on much faster than real time, installed for the
// life of this object: long waits of the program (speech played silently, timers, retry waits)
// pass in a moment while everything else runs as usual. The thread moves the clock by
// `speedUp` ms each real millisecond; silent audio is played on that thread as it moves.
class FastClock {
public:
    explicit FastClock(double speedUp);
    ~FastClock();
    FastClock(const FastClock&) = delete;
    FastClock& operator=(const FastClock&) = delete;

private:
    std::shared_ptr<ManualClock> m_clock = std::make_shared<ManualClock>();
    std::shared_ptr<Clock> m_previous;
    std::atomic<bool> m_stop { false };
    std::thread m_mover;
};

} // namespace lorvantine::test
