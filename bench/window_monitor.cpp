// The window monitor's one-second check on the main thread with 30 windows open: with the read
// button's window tracked (Safari), and with Books in front showing no page, where the deep
// search runs only on changes and every five seconds, against searching at every check.
#include "App/WindowMonitor.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace lorvantine {
namespace {

constexpr int windowCount = 30;

// A window's content eight levels deep, as a library or a page still loading gives it: groups of
// short labels and a web area without a text long enough to read.
SimElement deepContent(int window)
{
    SimElement leaf("AXWebArea");
    for (int i = 0; i < 6; ++i)
        leaf.child(SimElement("AXGroup").child(SimElement("AXStaticText", "Item " + std::to_string(i))));
    SimElement node = std::move(leaf);
    for (int depth = 0; depth < 7; ++depth) {
        SimElement parent("AXGroup");
        parent.child(SimElement("AXStaticText", "Shelf " + std::to_string(window)));
        parent.child(std::move(node));
        node = std::move(parent);
    }
    return node;
}

std::shared_ptr<SimDesktop> desktopWith(const std::string& bundleID)
{
    SimApplication app;
    app.pid = 900;
    app.bundleIdentifier = bundleID;
    app.active = true;
    for (int i = 0; i < windowCount; ++i) {
        SimWindow window;
        window.title = "Window " + std::to_string(i);
        window.frame = Rect(40 + i * 10, 40 + i * 10, 800, 600);
        window.main = i == 0;
        window.children.push_back(deepContent(i));
        app.windows.push_back(std::move(window));
    }
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return SimDesktop::create(fixture);
}

struct MonitorBench {
    explicit MonitorBench(const std::string& bundleID)
        : desktop(desktopWith(bundleID))
        , services(desktop->services())
    {
        RunLoop::adoptCurrentThreadAsMain();
        previousClock = Clock::install(clock);
        monitor->checkFrontWindow();
    }
    ~MonitorBench() { Clock::install(previousClock); }

    Log::Capture quiet;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<Clock> previousClock;
    std::shared_ptr<SimDesktop> desktop;
    Platform::ScopedServices services;
    std::shared_ptr<WindowMonitor> monitor = std::make_shared<WindowMonitor>();
};

void BM_CheckWithTrackedWindow(benchmark::State& state)
{
    MonitorBench bench("com.apple.Safari");
    for (auto _ : state)
        bench.monitor->checkFrontWindow();
    state.counters["tracked"] = bench.monitor->lastTrackedWindow() ? 1 : 0;
}

void BM_CheckBooksWithoutPage(benchmark::State& state)
{
    MonitorBench bench("com.apple.iBooksX");
    for (auto _ : state)
        bench.monitor->checkFrontWindow();
}

// The alternative: the deep search at every check.
void BM_CheckBooksWithoutPageSearchingEveryTime(benchmark::State& state)
{
    MonitorBench bench("com.apple.iBooksX");
    for (auto _ : state)
        bench.monitor->appDidActivate({});
}

BENCHMARK(BM_CheckWithTrackedWindow)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckBooksWithoutPage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_CheckBooksWithoutPageSearchingEveryTime)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
