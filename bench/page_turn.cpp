// Turning a book's page: the time the main thread is blocked by one turn beyond the waits the
// turn makes on purpose (those run on a manual clock here, so they cost nothing), against reading
// the page's text once, which is the cost of one poll while the page changes.
#include "CLI/CLIRouter.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/KindleSource.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <benchmark/benchmark.h>

namespace lorvantine {
namespace {

struct Book {
    const char* bundleID;
    const char* fixture;
};
constexpr Book kindle { "com.amazon.Lassen", "kindle-book.json" };
constexpr Book books { "com.apple.iBooksX", "books-book.json" };

std::shared_ptr<SimDesktop> load(const Book& book)
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + book.fixture, error);
    if (!desktop)
        std::abort();
    return desktop;
}

void turnOnMainThread(benchmark::State& state, const Book& book)
{
    RunLoop::adoptCurrentThreadAsMain();
    auto clock = std::make_shared<ManualClock>();
    clock->setMainThreadSleepsAdvance(true);
    auto previous = Clock::install(clock);
    Log::Capture quiet;
    for (auto _ : state) {
        state.PauseTiming();
        auto desktop = load(book);
        Platform::ScopedServices services(desktop->services());
        bool done = false;
        state.ResumeTiming();
        // Only the call itself blocks the main thread; the poll and the new page's detection
        // run on a pool thread afterwards.
        CLIRouter::turnPage(book.bundleID, [&](auto) { done = true; });
        state.PauseTiming();
        while (!done)
            Dispatch::advance(*clock, seconds(0.1));
        state.ResumeTiming();
    }
    Clock::install(previous);
}

void pollRead(benchmark::State& state, const Book& book)
{
    auto desktop = load(book);
    Platform::ScopedServices services(desktop->services());
    for (auto _ : state) {
        auto text = book.bundleID == kindle.bundleID ? KindleSource::readAXText(book.bundleID)
                                                     : AppleBooksSource::readAXText(book.bundleID);
        benchmark::DoNotOptimize(text);
    }
}

void BM_TurnBlocksMainThread_Kindle(benchmark::State& state) { turnOnMainThread(state, kindle); }
void BM_TurnBlocksMainThread_Books(benchmark::State& state) { turnOnMainThread(state, books); }
void BM_PollRead_Kindle(benchmark::State& state) { pollRead(state, kindle); }
void BM_PollRead_Books(benchmark::State& state) { pollRead(state, books); }

BENCHMARK(BM_TurnBlocksMainThread_Kindle)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_TurnBlocksMainThread_Books)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_PollRead_Kindle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PollRead_Books)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
