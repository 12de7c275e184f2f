// What the onboarding window's demo costs the main thread: the first launch's window on its
// second step on the demo desktop, and the clock moved through whole turns of the demo, every
// step, animation frame and picture of the window made as in the program. Time per turn of the
// demo, and the share of a core that is over the turn's length.
#include "App/OnboardingWindow.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"

#include "BenchDesktops.h"

#include <benchmark/benchmark.h>

#include <chrono>

namespace lorvantine {
namespace {

// One turn: selection, bubble, the paragraph read word by word, the fade and the pause.
constexpr double turnSeconds = 12;

void demoTurns(benchmark::State& state)
{
    auto clock = std::make_shared<ManualClock>();
    auto previousClock = Clock::install(clock);
    {
        bench::ProgramOnDesktop program(SimDesktop::demo());
        auto onboarding = std::make_shared<OnboardingWindow>();
        onboarding->show();
        // Past the first turn's start.
        Dispatch::advance(*clock, seconds(turnSeconds));
        const auto started = std::chrono::steady_clock::now();
        for (auto _ : state)
            Dispatch::advance(*clock, seconds(turnSeconds));
        const double perTurn = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
            / static_cast<double>(state.iterations());
        state.counters["core %"] = perTurn / turnSeconds * 100;
        onboarding.reset();
        Dispatch::discardDelayedWork();
    }
    Clock::install(previousClock);
}
BENCHMARK(demoTurns)->Unit(benchmark::kMillisecond)->MinTime(3);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
