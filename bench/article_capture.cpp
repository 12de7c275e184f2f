// Capture of a long web article: 2,000 paragraphs (text blocks, some with links, list items and
// a heading every 50 paragraphs) in a Safari-like window of the simulated desktop.
#include "Accessibility/ArticleParser.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include "BenchDesktops.h"

#include <benchmark/benchmark.h>

#include <optional>
#include <string>

namespace lorvantine {
namespace {

constexpr int paragraphCount = 2000;
constexpr uint32_t windowNumber = 1;

SimElement paragraph(int i)
{
    const std::string n = std::to_string(i);
    if (i % 50 == 0) {
        SimElement heading("AXHeading");
        heading.with("AXTitle", "Section " + n).child(SimElement("AXStaticText", "Section " + n));
        return heading;
    }
    if (i % 7 == 0) {
        SimElement item("AXGroup");
        item.child(SimElement("AXListMarker", "•").frame(Rect(0, 0, 20, 20)));
        item.child(SimElement("AXStaticText", "List item " + n + " of the long article.").at({ 28, 0 }).sized(800));
        return item;
    }
    SimElement block("AXGroup");
    block.runs.push_back({ "Paragraph " + n + " says something worth reading aloud, slowly. ", std::nullopt });
    if (i % 3 == 0)
        block.runs.push_back({ "A link", "https://example.com/" + n });
    block.runs.push_back({ " And then it ends.", std::nullopt });
    return block;
}

std::shared_ptr<SimDesktop> longArticle()
{
    SimElement article("AXGroup");
    article.spacing = 12;
    for (int i = 0; i < paragraphCount; ++i)
        article.children.push_back(paragraph(i));
    return bench::safariArticleDesktop(std::move(article), "A long article", windowNumber);
}

void BM_CaptureLongArticle(benchmark::State& state)
{
    Log::Capture quiet; // about 700 "AX index mapping" lines a capture
    auto desktop = longArticle();
    Platform::ScopedServices services(desktop->services());
    size_t paragraphs = ArticleParser::captureArticle("com.apple.Safari")->paragraphs.size(); // lays the text out once
    for (auto _ : state) {
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        benchmark::DoNotOptimize(captured);
    }
    state.counters["paragraphs"] = static_cast<double>(paragraphs);
}
BENCHMARK(BM_CaptureLongArticle)->Unit(benchmark::kMillisecond);

// The window moved since the last capture: every frame is placed again (text layout is kept).
void BM_CaptureLongArticleAfterMove(benchmark::State& state)
{
    Log::Capture quiet;
    auto desktop = longArticle();
    Platform::ScopedServices services(desktop->services());
    ArticleParser::captureArticle("com.apple.Safari");
    double x = 100;
    for (auto _ : state) {
        state.PauseTiming();
        x = x == 100 ? 120 : 100;
        desktop->moveWindow(windowNumber, { x, 40 });
        state.ResumeTiming();
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        benchmark::DoNotOptimize(captured);
    }
}
BENCHMARK(BM_CaptureLongArticleAfterMove)->Unit(benchmark::kMillisecond);

// A fresh desktop: the first capture also lays out all 2,000 paragraphs.
void BM_FirstCaptureLongArticle(benchmark::State& state)
{
    Log::Capture quiet;
    for (auto _ : state) {
        state.PauseTiming();
        std::optional<Platform::ScopedServices> services;
        services.emplace(longArticle()->services());
        state.ResumeTiming();
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        benchmark::DoNotOptimize(captured);
        state.PauseTiming();
        services.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_FirstCaptureLongArticle)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
