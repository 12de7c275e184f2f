// How the simulated desktop answers as it grows: a tree walk through the accessibility port
// (children and role of every node), character bounds in one long text element, and start-up
// with many windows.
#include "Platform/AccessibilityPort.h"
#include "SimDesktop/SimDesktop.h"

#include <benchmark/benchmark.h>

#include <random>

namespace lorvantine {
namespace {

// A window holding about `count` elements: groups of ten down to short static texts.
std::shared_ptr<SimDesktop> desktopWithTree(int64_t count)
{
    SimApplication app;
    app.pid = 600;
    app.active = true;
    SimWindow window;
    window.number = 1;
    window.frame = Rect(0, 25, 1200, 800);
    auto desktop = SimDesktop::create();
    desktop->addApplication(app);
    desktop->addWindow(600, window);
    const AXElement root = desktop->windowElement(1);
    std::vector<AXElement> frontier { root };
    int64_t made = 1;
    size_t next = 0;
    while (made < count) {
        const AXElement parent = frontier[next++];
        for (int i = 0; i < 10 && made < count; ++i, ++made) {
            const bool leaf = made * 10 >= count;
            SimElement e = leaf ? SimElement("AXStaticText", "word " + std::to_string(made)) : SimElement("AXGroup");
            e.frame(Rect(0, 0, 100, 20));
            frontier.push_back(desktop->addElement(parent, e));
        }
    }
    return desktop;
}

void walk(AccessibilityPort& ax, const AXElement& element, int64_t& visited)
{
    AXValue role, children;
    ax.copyAttributeValue(element, "AXRole", role);
    benchmark::DoNotOptimize(role);
    ++visited;
    if (ax.copyAttributeValue(element, "AXChildren", children) != AXError::success)
        return;
    if (const auto* list = axGet<std::vector<AXElement>>(children))
        for (const auto& child : *list)
            walk(ax, child, visited);
}

void BM_TreeWalk(benchmark::State& state)
{
    auto desktop = desktopWithTree(state.range(0));
    auto services = desktop->services();
    const AXElement root = desktop->windowElement(1);
    int64_t visited = 0;
    for (auto _ : state)
        walk(*services.accessibility, root, visited);
    state.SetItemsProcessed(visited);
    state.counters["nodes"] = static_cast<double>(visited) / static_cast<double>(state.iterations());
    state.counters["ns/node"] = benchmark::Counter(static_cast<double>(visited),
                                                   benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_TreeWalk)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Text of `count` Characters: words and spaces, every fifth word Chinese, one emoji per sentence.
std::string longText(int64_t count)
{
    static const char* words[] = { "reading", "slowly", "is", "a", "habit", "慢读", "of", "attention", "and", "care" };
    std::string text;
    int64_t characters = 0;
    for (int i = 0; characters < count; ++i) {
        std::string word = i % 40 == 39 ? "🙂" : words[i % 10];
        text += word;
        characters += word == "慢读" ? 2 : word == "🙂" ? 1 : static_cast<int64_t>(word.size());
        if (characters < count) {
            text += i % 12 == 11 ? "\n" : " ";
            ++characters;
        }
    }
    return text;
}

void BM_BoundsForRange(benchmark::State& state)
{
    SimApplication app;
    app.pid = 600;
    app.active = true;
    SimWindow window;
    window.number = 1;
    window.frame = Rect(0, 25, 1000, 800);
    SimElement area("AXTextArea", longText(state.range(0)));
    area.named("text").at(Point { 0, 0 }).sized(980);
    window.children.push_back(area);
    app.windows.push_back(window);
    SimFixture fixture;
    fixture.applications.push_back(app);
    auto desktop = SimDesktop::create(fixture);
    auto services = desktop->services();
    AccessibilityPort& ax = *services.accessibility;
    const AXElement text = desktop->element("text");

    AXValue length;
    ax.copyAttributeValue(text, "AXNumberOfCharacters", length);
    const int64_t units = *axGet<int64_t>(length);
    AXValue out;
    ax.copyParameterizedAttributeValue(text, "AXBoundsForRange", AXRange { 0, 1 }, out); // lays the text out once

    std::mt19937 random(42);
    std::uniform_int_distribution<int64_t> at(0, units - 2);
    for (auto _ : state) {
        ax.copyParameterizedAttributeValue(text, "AXBoundsForRange", AXRange { at(random), 1 }, out);
        benchmark::DoNotOptimize(out);
    }
    state.counters["utf16"] = static_cast<double>(units);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BoundsForRange)->Arg(1'000)->Arg(10'000)->Arg(100'000);

// The cost of the one layout an element gets, for comparison.
void BM_FirstLayout(benchmark::State& state)
{
    const std::string text = longText(state.range(0));
    for (auto _ : state) {
        auto layout = SimTextLayout::make(text, 980, SimFont {});
        benchmark::DoNotOptimize(layout);
    }
}
BENCHMARK(BM_FirstLayout)->Arg(1'000)->Arg(10'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

// Start-up with many windows: a desktop made from a fixture whose application has `count`
// windows, listed front to back; the second argument makes every one main when it arrives, so
// each takes main from the one before.
void BM_StartWithWindows(benchmark::State& state)
{
    const int64_t count = state.range(0);
    SimApplication app;
    app.pid = 600;
    app.active = true;
    for (int64_t i = 0; i < count; ++i) {
        SimWindow window;
        window.title = "Window " + std::to_string(i);
        window.frame = Rect(static_cast<double>(10 + i % 50), static_cast<double>(30 + i % 40), 400, 300);
        window.main = state.range(1) == 1 || i == 0;
        app.windows.push_back(window);
    }
    SimFixture fixture;
    fixture.applications.push_back(app);
    for (auto _ : state) {
        auto desktop = SimDesktop::create(fixture);
        benchmark::DoNotOptimize(desktop);
    }
    state.counters["ns/window"] = benchmark::Counter(static_cast<double>(count * state.iterations()),
                                                     benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StartWithWindows)->ArgsProduct({ { 1'000, 10'000, 20'000 }, { 0, 1 } })->Unit(benchmark::kMillisecond);

// Start-up with many applications: a desktop made from a fixture of `count` applications with
// one window each, the last one active; every other one has a pid of its own given, every second
// one is left for the desktop to assign.
void BM_StartWithApplications(benchmark::State& state)
{
    const int64_t count = state.range(0);
    SimFixture fixture;
    for (int64_t i = 0; i < count; ++i) {
        SimApplication app;
        app.pid = i % 2 == 0 ? static_cast<ProcessID>(100'000 + i) : 0;
        app.bundleIdentifier = "com.example.App" + std::to_string(i);
        app.localizedName = "App " + std::to_string(i);
        app.active = i == count - 1;
        SimWindow window;
        window.title = "Window " + std::to_string(i);
        window.frame = Rect(static_cast<double>(10 + i % 50), static_cast<double>(30 + i % 40), 400, 300);
        app.windows.push_back(window);
        fixture.applications.push_back(app);
    }
    for (auto _ : state) {
        auto desktop = SimDesktop::create(fixture);
        benchmark::DoNotOptimize(desktop);
    }
    state.counters["ns/application"] = benchmark::Counter(static_cast<double>(count * state.iterations()),
                                                          benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_StartWithApplications)->Arg(1'000)->Arg(10'000)->Arg(40'000)->Arg(100'000)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
