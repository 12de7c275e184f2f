// One accessibility call (the role of an application) answered in process by the simulated
// desktop, against the same call made through the desktop server over its Unix socket: the
// round trip a process pays for sharing the desktop. The goal is under 50 µs.
// And what one change of the program's full-screen overlay costs the program on a shared desktop:
// drawing, PNG encoding and the round trip that shows it there (png_bytes: the picture's size).
#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/WindowHost.h"
#include "SimDesktop/Served/SharedWindowHost.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <unistd.h>

namespace lorvantine {
namespace {

void copyRole(benchmark::State& state, AccessibilityPort& ax)
{
    const AXElement safari { 501, 0 };
    for (auto _ : state) {
        AXValue role;
        benchmark::DoNotOptimize(ax.copyAttributeValue(safari, "AXRole", role));
        benchmark::DoNotOptimize(role);
    }
}

// The demo desktop served from a private directory, with one client connected; `remote` is null
// and `error` says why when that failed. Everything goes with it.
struct ServedDemoDesktop {
    std::string directory = (std::filesystem::temp_directory_path() / "lorvantine-bench-XXXXXX").string();
    std::string error;
    std::unique_ptr<DesktopServer> server;
    std::shared_ptr<RemoteDesktop> remote;

    ServedDemoDesktop()
    {
        RunLoop::adoptCurrentThreadAsMain();
        if (!::mkdtemp(directory.data())) {
            error = "no private directory";
            directory.clear();
            return;
        }
        server = DesktopServer::start(SimDesktop::demo(), directory + "/desktop.sock", error);
        remote = server ? RemoteDesktop::connect(server->path(), error) : nullptr;
    }
    ~ServedDemoDesktop()
    {
        remote.reset();
        server.reset();
        RunLoop::runPending();
        if (!directory.empty())
            std::filesystem::remove_all(directory);
    }
    ServedDemoDesktop(const ServedDemoDesktop&) = delete;
    ServedDemoDesktop& operator=(const ServedDemoDesktop&) = delete;
};

void BM_AccessibilityCallInProcess(benchmark::State& state)
{
    auto desktop = SimDesktop::demo();
    copyRole(state, *desktop->services().accessibility);
}
BENCHMARK(BM_AccessibilityCallInProcess);

void BM_AccessibilityCallThroughServer(benchmark::State& state)
{
    ServedDemoDesktop served;
    if (!served.remote) {
        state.SkipWithError(served.error.c_str());
        return;
    }
    copyRole(state, *served.remote->services().accessibility);
}
BENCHMARK(BM_AccessibilityCallThroughServer);

void BM_OverlayChangePublishedToServer(benchmark::State& state)
{
    ServedDemoDesktop served;
    auto local = SimWindowHost::create(SimDesktop::demo());
    auto shared = served.remote ? SharedWindowHost::create(local, served.remote, served.error) : nullptr;
    if (!shared) {
        state.SkipWithError(served.error.c_str());
        return;
    }
    {
        Platform::ScopedServices services(served.remote->services());
        ScopedWindowHost host(shared);
        auto overlay = std::make_shared<Panel>(Rect(0, 0, 1440, 900), WindowStyle::nonactivatingPanel);
        overlay->setLevel(WindowLevel::floating);
        overlay->setIgnoresMouseEvents(true);
        overlay->setOpaque(false);
        overlay->setBackgroundColor(Color::clear());
        auto highlight = std::make_shared<View>(Rect(200, 400, 600, 48));
        highlight->setBackgroundColor(Color::rgb(1, 0.85, 0, 0.35));
        overlay->contentView()->addSubview(highlight);
        overlay->orderFrontRegardless();
        shared->publishPending();
        double y = 400;
        for (auto _ : state) {
            y = y > 700 ? 100 : y + 24;
            highlight->setFrame(Rect(200, y, 600, 48));
            shared->publishPending();
        }
        if (auto drawn = local->drawnContent(*overlay, 2)) // the demo screen's backing scale
            if (auto png = drawn->image.encodePNG())
                state.counters["png_bytes"] = static_cast<double>(png->size());
    }
}
BENCHMARK(BM_OverlayChangePublishedToServer)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
