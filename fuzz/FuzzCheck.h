#pragma once

#include "Platform/Dispatch/Clock.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace lorvantine::fuzz {

// Ends the run when a promise of the code under test is broken, saying which one, so that a
// finding reads as more than a bare trap.
inline void check(bool holds, const char* promise)
{
    if (holds)
        return;
    std::fprintf(stderr, "fuzz check failed: %s\n", promise);
    std::abort();
}

// The manual clock every run of a target shares, installed on first use: retries and playback
// wait on it, and a run never waits in real time.
inline ManualClock& manualClock()
{
    static const std::shared_ptr<ManualClock> clock = [] {
        auto manual = std::make_shared<ManualClock>();
        Clock::install(manual);
        return manual;
    }();
    return *clock;
}

} // namespace lorvantine::fuzz
