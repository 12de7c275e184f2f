// One scenario of the selection-capability matrix against the baseline editor: how many
// accessibility calls it makes and how long it keeps the main thread busy beyond the sleeps the
// probe makes on purpose (0.2 s after the set, 0.05 s after each of ten sub-ranges, 0.1 s after
// the restore). Those sleeps run on a manual clock here, so the wall time is the probing itself;
// the "sleep_s" counter is the time they would take, the alternative the probing is compared with.
#include "CLI/SelectionProbeRunner.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <benchmark/benchmark.h>

namespace lorvantine {
namespace {

const std::string probeFixture = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-fixture.txt";

void scenario(benchmark::State& state, int index)
{
    RunLoop::adoptCurrentThreadAsMain();
    auto clock = std::make_shared<ManualClock>();
    clock->setMainThreadSleepsAdvance(true);
    auto previous = Clock::install(clock);
    Log::Capture quiet;
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-matrix-desktop.json", error);
    if (!desktop)
        std::abort();
    auto [services, counting] = test::ProbeCountingAccessibility::wrap(desktop->services());
    Platform::ScopedServices scoped(services);
    SelectionProbeRunner::launchWithFile("com.example.PlainEdit", probeFixture);
    auto found = SelectionProbeRunner::waitForFocusedTextWithContent("com.example.PlainEdit", "<<P1>>", 15);
    if (!found)
        std::abort();
    const SelectionProbeRunner::AppConfig app { "com.example.PlainEdit", "PlainEdit", probeFixture };
    const SelectionProbeRunner::Scenario& which = SelectionProbeRunner::scenarios()[static_cast<size_t>(index)];
    double slept = 0;
    int calls = 0;
    int64_t units = 0;
    for (auto _ : state) {
        counting->resetCounts();
        const TimePoint before = clock->now();
        auto result = SelectionProbeRunner::probeScenario(which, found->first, found->second, app);
        slept = toSeconds(clock->now() - before);
        calls = counting->totalCalls();
        units = result.expectedU16Length;
        benchmark::DoNotOptimize(result);
    }
    state.counters["ax_calls"] = calls;
    state.counters["sleep_s"] = slept;
    state.counters["units"] = static_cast<double>(units);
    Clock::install(previous);
}

BENCHMARK_CAPTURE(scenario, single_line, 0)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scenario, long_english, 3)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(scenario, long_cjk, 4)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
