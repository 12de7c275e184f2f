#pragma once

#include <cstdio>
#include <cstdlib>

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

} // namespace lorvantine::fuzz
