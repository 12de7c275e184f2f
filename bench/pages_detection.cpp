// Finding a Pages document: the whole text is fetched at once and only the lines of the page in
// view are measured (two bounds requests each, plus one for the first line beyond the page), so a
// 10,000-line document with 30 lines in view should cost about what a 200-line one does. Both
// answer from the simulated desktop in this process; the page frames hold 30 lines each.
#include "Accessibility/AXReader.h"
#include "Documents/PagesSource.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/PagesDocumentFixture.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <benchmark/benchmark.h>

#include <string>

namespace lorvantine {
namespace {

std::string pagesBenchLine(int i)
{
    if (i % 4 == 3)
        return "第" + std::to_string(i) + "行：港口在小镇醒来之前就已经醒来。";
    return "Line " + std::to_string(i) + ": the harbour wakes before the town does.";
}

void BM_PagesDetect(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    auto desktop = SimDesktop::create(test::pagesDocumentFixture(test::pagesOfLines(lines, 30, pagesBenchLine), 640));
    auto [services, probes] = test::ProbeCountingAccessibility::wrap(desktop->services());
    Platform::ScopedServices scoped(services);
    Log::Capture quiet;
    std::shared_ptr<DocumentSession> session;
    probes->resetCounts();
    for (auto _ : state) {
        session = PagesSource::detect("com.apple.iWork.Pages");
        benchmark::DoNotOptimize(session);
    }
    const size_t paragraphs = session ? session->paragraphs().size() : 0;
    const double iterations = static_cast<double>(state.iterations());
    state.counters["paragraphs"] = static_cast<double>(paragraphs);
    state.counters["bounds_calls"] = probes->boundsCalls() / iterations;
    state.counters["ax_calls"] = probes->totalCalls() / iterations;
}

// The alternative: asking the bounds of every line's first character, as a reader that does not
// stop at the page in view would.
void BM_BoundsOfEveryLine(benchmark::State& state)
{
    const int lines = static_cast<int>(state.range(0));
    auto desktop = SimDesktop::create(test::pagesDocumentFixture(test::pagesOfLines(lines, 30, pagesBenchLine), 640));
    auto [services, probes] = test::ProbeCountingAccessibility::wrap(desktop->services());
    Platform::ScopedServices scoped(services);
    const AXElement textArea = desktop->element("page-1-text");
    std::vector<int> offsets;
    for (int i = 0, offset = 0; i < lines; ++i) {
        offsets.push_back(offset);
        offset += static_cast<int>(Text::utf16Count(pagesBenchLine(i))) + 1;
    }
    probes->resetCounts();
    for (auto _ : state)
        for (int offset : offsets)
            benchmark::DoNotOptimize(AXReader::boundsForRange(textArea, offset, 1));
    state.counters["bounds_calls"] = probes->boundsCalls() / static_cast<double>(state.iterations());
}

BENCHMARK(BM_PagesDetect)->Arg(200)->Arg(10000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BoundsOfEveryLine)->Arg(10000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
