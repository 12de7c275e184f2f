// The inspector on a web area of about 10,000 elements at its default depth of 16, beside the
// article capture of the same tree (what a reading does with that window).
#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "CLI/AppInspector.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include "BenchDesktops.h"

#include <benchmark/benchmark.h>

#include <functional>
#include <sstream>
#include <string>

namespace lorvantine {
namespace {

constexpr int sectionCount = 25;
constexpr int subsectionsPerSection = 4;
constexpr int paragraphsPerSubsection = 28;
constexpr uint32_t inspectedWindow = 1;

SimElement paragraph(int i)
{
    const std::string n = std::to_string(i);
    if (i % 20 == 0)
        return SimElement("AXImage").with("AXDescription", std::string("Figure " + n)).sized(400, 200);
    SimElement block("AXGroup");
    block.runs.push_back({ "Paragraph " + n + " says something worth reading aloud, slowly and with care. ", std::nullopt });
    if (i % 3 == 0)
        block.runs.push_back({ "A link", "https://example.com/" + n });
    block.runs.push_back({ " And then it ends.", std::nullopt });
    return block;
}

// Window, scroll area, web area, article, sections, subsections, paragraphs, runs: nine levels.
std::shared_ptr<SimDesktop> largeWebArea()
{
    SimElement article("AXGroup");
    article.spacing = 12;
    int i = 0;
    for (int s = 0; s < sectionCount; ++s) {
        SimElement section("AXGroup");
        section.spacing = 12;
        SimElement heading("AXHeading");
        heading.with("AXTitle", "Section " + std::to_string(s)).child(SimElement("AXStaticText", "Section " + std::to_string(s)));
        section.children.push_back(std::move(heading));
        for (int u = 0; u < subsectionsPerSection; ++u) {
            SimElement subsection("AXGroup");
            subsection.spacing = 12;
            for (int p = 0; p < paragraphsPerSubsection; ++p)
                subsection.children.push_back(paragraph(i++));
            section.children.push_back(std::move(subsection));
        }
        article.children.push_back(std::move(section));
    }
    return bench::safariArticleDesktop(std::move(article), "A large page", inspectedWindow);
}

size_t nodeCount(const AXNode& node)
{
    size_t count = 1;
    for (const AXNode& child : node.children)
        count += nodeCount(child);
    return count;
}

void runOnLargeWebArea(benchmark::State& state, const std::function<void()>& body)
{
    Log::Capture quiet;
    auto desktop = largeWebArea();
    Platform::ScopedServices services(desktop->services());
    const AXNode tree = AXReader::walkTree(desktop->windowElement(inspectedWindow), 100);
    body(); // lays every text out once
    for (auto _ : state) {
        body();
        quiet.clear();
    }
    state.counters["elements"] = static_cast<double>(nodeCount(tree));
}

void BM_InspectLargeWebArea(benchmark::State& state)
{
    runOnLargeWebArea(state, [] {
        std::ostringstream tree;
        const int status = AppInspector::inspect({ "lorvantine", "--inspect", "--app", "com.apple.Safari", "--depth", "16" }, tree);
        benchmark::DoNotOptimize(status);
        benchmark::DoNotOptimize(tree.str().size());
    });
}
BENCHMARK(BM_InspectLargeWebArea)->Unit(benchmark::kMillisecond);

void BM_CaptureLargeWebArea(benchmark::State& state)
{
    runOnLargeWebArea(state, [] {
        auto captured = ArticleParser::captureArticle("com.apple.Safari");
        benchmark::DoNotOptimize(captured);
    });
}
BENCHMARK(BM_CaptureLargeWebArea)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
