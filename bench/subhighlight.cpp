// Sub-highlight cost on a 5,000-Character paragraph: building the units, measuring every unit's
// rectangles through accessibility (counted in calls), and the per-tick decision.
#include "Core/SubHighlightMapper.h"
#include "Core/SubRectPrecomputation.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <benchmark/benchmark.h>

using namespace lorvantine;

namespace {

constexpr size_t paragraphCharacters = 5000;

// English prose with a sentence ender every dozen words and now and then an emoji or Chinese.
std::string paragraphText()
{
    const std::vector<std::string> words { "reading", "aloud", "keeps", "every", "word", "in", "view", "while",
                                           "the", "voice", "moves", "through", "long", "quiet", "pages", "of",
                                           "a", "book", "🍞", "面包", "café", "again" };
    std::string text;
    for (size_t i = 0; Text::characterCount(text) < paragraphCharacters + 20; ++i) {
        text += words[(i * 7 + i / 3) % words.size()];
        text += (i % 12 == 11) ? (i % 24 == 23 ? "! " : "; ") : " ";
    }
    return Text::characterPrefix(text, paragraphCharacters);
}

// What the server would say for the text: one timestamp per word, 0.3 s apart.
std::vector<TTSTimestamp> timestampsFor(const std::string& text)
{
    std::vector<TTSTimestamp> timestamps;
    double t = 0;
    for (const std::string& word : Text::splitOnWhitespace(text)) {
        timestamps.push_back({ t, t + 0.25, word });
        t += 0.3;
    }
    return timestamps;
}

struct Setup {
    std::shared_ptr<SimDesktop> desktop = SimDesktop::create();
    std::shared_ptr<test::ProbeCountingAccessibility> probes;
    std::unique_ptr<Platform::ScopedServices> services;
    std::string text = paragraphText();
    ArticleParagraph paragraph;
    AudioSegment segment;

    Setup()
    {
        auto [wrapped, port] = test::ProbeCountingAccessibility::wrap(desktop->services());
        probes = port;
        services = std::make_unique<Platform::ScopedServices>(std::move(wrapped));
        const ProcessID pid = desktop->addApplication({ .pid = 900, .bundleIdentifier = "com.example.Bench", .active = true });
        const uint32_t window = desktop->addWindow(pid, SimWindow { .title = "Bench", .frame = Rect(0, 25, 900, 1400) });
        const AXElement element = desktop->addElement(desktop->windowElement(window),
                                                      SimElement("AXTextArea", text).frame(Rect(20, 20, 640, 1300)));
        paragraph.text = text;
        paragraph.element = element;
        paragraph.frame = desktop->frameOf(element).value_or(Rect());
        paragraph.role = "AXTextArea";
        segment.processedText = text;
        segment.timestamps = timestampsFor(text);
    }
};

Setup& setup()
{
    static Setup shared;
    return shared;
}

void unitsFromTimestamps(benchmark::State& state)
{
    Setup& s = setup();
    Log::Capture quiet;
    size_t units = 0;
    for (auto _ : state) {
        auto built = SubHighlightMapper::unitsForSegment(s.segment, s.text, 0);
        units = built.size();
        benchmark::DoNotOptimize(built);
    }
    state.counters["units"] = static_cast<double>(units);
    state.counters["timestamps"] = static_cast<double>(s.segment.timestamps.size());
}

void precompute(benchmark::State& state, std::vector<SubHighlightUnit> units)
{
    Setup& s = setup();
    Log::Capture quiet;
    SubRectPrecomputation::Request request { 0, s.paragraph, std::move(units), 1 };
    s.probes->resetCounts();
    size_t withRects = 0;
    for (auto _ : state) {
        auto publication = SubRectPrecomputation::precomputeSubRects(request);
        withRects = 0;
        for (const auto& [k, rects] : publication->table)
            withRects += rects.empty() ? 0 : 1;
        benchmark::DoNotOptimize(publication);
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["units"] = static_cast<double>(request.units.size());
    state.counters["unitsWithRects"] = static_cast<double>(withRects);
    state.counters["axCallsPerRun"] = s.probes->totalCalls() / runs;
    state.counters["boundsProbesPerRun"] = s.probes->boundsCalls() / runs;
    state.counters["boundsProbesPerUnit"] = s.probes->boundsCalls() / runs / static_cast<double>(request.units.size());
}

void precomputeWordRects(benchmark::State& state)
{
    Log::Capture quiet;
    precompute(state, SubHighlightMapper::unitsForSegment(setup().segment, setup().text, 0));
}

void precomputeSentenceRects(benchmark::State& state)
{
    Setup& s = setup();
    precompute(state, SubHighlightMapper::buildSentenceUnitsWithoutTimestamps(s.text, 0, s.text, 0));
}

// Units and rectangles in place, the same segment playing: what ten ticks a second cost.
void tickSameSegment(benchmark::State& state)
{
    Setup& s = setup();
    Log::Capture quiet;
    std::vector<ArticleParagraph> paragraphs { s.paragraph };
    SubHighlightState highlight;
    auto playback = SubHighlightMapper::Playback::of(s.segment, 0, 300);
    auto first = SubHighlightMapper::tick(highlight, playback, paragraphs);
    for (size_t k = 0; k < highlight.currentSubUnits.size(); ++k)
        highlight.subRectCache[static_cast<int>(k)] = { Rect(10, 20, 30, 18), Rect(10, 40, 50, 18) };
    // Halfway through the paragraph.
    playback.currentTime = highlight.currentSubUnits[highlight.currentSubUnits.size() / 2].startTime + 0.1;
    for (auto _ : state) {
        auto outcome = SubHighlightMapper::tick(highlight, playback, paragraphs);
        benchmark::DoNotOptimize(outcome);
    }
    state.counters["units"] = static_cast<double>(highlight.currentSubUnits.size());
}

// The same, including the copy the session takes of the playing segment under the player's lock.
void tickWithSegmentCopy(benchmark::State& state)
{
    Setup& s = setup();
    Log::Capture quiet;
    std::vector<ArticleParagraph> paragraphs { s.paragraph };
    AudioSegment playing = s.segment;
    playing.mp3Data.assign(200000, 0xFF);
    SubHighlightState highlight;
    SubHighlightMapper::tick(highlight, SubHighlightMapper::Playback::of(playing, 0, 300), paragraphs);
    const double time = highlight.currentSubUnits[highlight.currentSubUnits.size() / 2].startTime + 0.1;
    for (auto _ : state) {
        auto outcome = SubHighlightMapper::tick(highlight, SubHighlightMapper::Playback::of(playing, time, 300), paragraphs);
        benchmark::DoNotOptimize(outcome);
    }
}

// A tick that finds a new segment and rebuilds its units (once per segment, not per tick).
void tickRebuild(benchmark::State& state)
{
    Setup& s = setup();
    Log::Capture quiet;
    std::vector<ArticleParagraph> paragraphs { s.paragraph };
    SubHighlightState highlight;
    auto playback = SubHighlightMapper::Playback::of(s.segment, 1, 300);
    for (auto _ : state) {
        highlight.lastSubSegmentKey.reset();
        auto outcome = SubHighlightMapper::tick(highlight, playback, paragraphs);
        benchmark::DoNotOptimize(outcome);
    }
}

} // namespace

BENCHMARK(unitsFromTimestamps)->Unit(benchmark::kMillisecond);
BENCHMARK(precomputeWordRects)->Unit(benchmark::kMillisecond);
BENCHMARK(precomputeSentenceRects)->Unit(benchmark::kMillisecond);
BENCHMARK(tickSameSegment)->Unit(benchmark::kMicrosecond);
BENCHMARK(tickWithSegmentCopy)->Unit(benchmark::kMicrosecond);
BENCHMARK(tickRebuild)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
