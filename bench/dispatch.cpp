// Latency of the dispatch paths the program leans on: work posted to the main queue and run by
// the main loop, and work handed from a global queue back to the main loop.
#include "Platform/Dispatch/Dispatch.h"

#include <benchmark/benchmark.h>

namespace lorvantine {
namespace {

void MainQueueAsyncRoundTrip(benchmark::State& state)
{
    RunLoop::adoptCurrentThreadAsMain();
    int ran = 0;
    for (auto _ : state) {
        DispatchQueue::main().async([&] { ++ran; });
        RunLoop::runPending();
    }
    benchmark::DoNotOptimize(ran);
}
BENCHMARK(MainQueueAsyncRoundTrip);

void GlobalAsyncToMain(benchmark::State& state)
{
    RunLoop::adoptCurrentThreadAsMain();
    for (auto _ : state) {
        bool arrived = false;
        DispatchQueue::global(QualityOfService::userInitiated).async([&] {
            DispatchQueue::main().async([&] { arrived = true; });
        });
        RunLoop::runUntil([&] { return arrived; }, seconds(5));
    }
}
BENCHMARK(GlobalAsyncToMain)->UseRealTime();

void SerialQueueSyncFromMain(benchmark::State& state)
{
    RunLoop::adoptCurrentThreadAsMain();
    auto queue = DispatchQueue::makeSerial("bench.serial");
    int ran = 0;
    for (auto _ : state)
        queue->sync([&] { ++ran; });
    benchmark::DoNotOptimize(ran);
}
BENCHMARK(SerialQueueSyncFromMain)->UseRealTime();

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
