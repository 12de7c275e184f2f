// Reading a long note natively: the parser over one text area of N lines (one bounds request per
// line plus one), against the same lines exposed as N static texts, which need no bounds
// requests. Both answer from the simulated desktop in this process. The bounds requests per line
// show that the cost grows linearly with the lines.
#include "Accessibility/NativeDocumentParser.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <benchmark/benchmark.h>

#include <string>

namespace lorvantine {
namespace {

std::string lineText(int i)
{
    // Every tenth line carries an emoji and every seventh is Chinese, and blank lines and CRLF
    // breaks come between, so offsets and Characters part ways all along the note.
    if (i % 7 == 3)
        return "第" + std::to_string(i) + "行：周末去公园散步，记得带上相机和水。";
    return "Line " + std::to_string(i) + " of the note" + (i % 10 == 0 ? " 🍰" : "") + ", with a few more words.";
}

std::shared_ptr<SimDesktop> noteDesktop(int lines, bool asStaticTexts)
{
    SimApplication app;
    app.pid = 640;
    app.bundleIdentifier = "com.apple.Notes";
    app.active = true;
    SimWindow window;
    window.number = 64;
    window.title = "Long note";
    window.frame = Rect(50, 50, 900, 800);
    window.main = true;
    SimElement body(asStaticTexts ? "AXGroup" : "AXTextArea");
    body.frame(Rect(20, 20, 840, 0));
    body.height.reset();
    if (asStaticTexts) {
        for (int i = 0; i < lines; ++i)
            body.child(SimElement("AXStaticText", lineText(i)).frame(Rect(0, 24.0 * i, 840, 20)));
    } else {
        std::string value;
        for (int i = 0; i < lines; ++i)
            value += lineText(i) + (i % 5 == 4 ? "\r\n\r\n" : "\n");
        body.text = value;
    }
    window.children.push_back(body);
    app.windows.push_back(window);
    SimFixture fixture;
    fixture.applications.push_back(app);
    return SimDesktop::create(fixture);
}

void parse(benchmark::State& state, bool asStaticTexts)
{
    const int lines = static_cast<int>(state.range(0));
    auto desktop = noteDesktop(lines, asStaticTexts);
    auto [services, probes] = test::ProbeCountingAccessibility::wrap(desktop->services());
    Platform::ScopedServices scoped(services);
    const AXElement window = desktop->windowElement(64);
    size_t paragraphs = 0;
    probes->resetCounts();
    for (auto _ : state) {
        auto merged = NativeDocumentParser::extractParagraphs(window, "com.apple.Notes", 20);
        paragraphs = merged ? merged->size() : 0;
        benchmark::DoNotOptimize(merged);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["paragraphs"] = static_cast<double>(paragraphs);
    state.counters["bounds_calls"] = probes->boundsCalls() / iterations;
    state.counters["bounds_per_line"] = probes->boundsCalls() / iterations / lines;
    state.counters["ax_calls_per_line"] = probes->totalCalls() / iterations / lines;
}

void BM_TextArea(benchmark::State& state) { parse(state, false); }
void BM_StaticTexts(benchmark::State& state) { parse(state, true); }

BENCHMARK(BM_TextArea)->Arg(250)->Arg(500)->Arg(1000)->Arg(2000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StaticTexts)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
