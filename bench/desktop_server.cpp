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

void BM_AccessibilityCallInProcess(benchmark::State& state)
{
    auto desktop = SimDesktop::demo();
    copyRole(state, *desktop->services().accessibility);
}
BENCHMARK(BM_AccessibilityCallInProcess);

void BM_AccessibilityCallThroughServer(benchmark::State& state)
{
    RunLoop::adoptCurrentThreadAsMain();
    std::string directory = (std::filesystem::temp_directory_path() / "lorvantine-bench-XXXXXX").string();
    if (!::mkdtemp(directory.data())) {
        state.SkipWithError("no private directory");
        return;
    }
    std::string error;
    auto server = DesktopServer::start(SimDesktop::demo(), directory + "/desktop.sock", error);
    auto remote = server ? RemoteDesktop::connect(server->path(), error) : nullptr;
    if (!remote) {
        state.SkipWithError(error.c_str());
        return;
    }
    copyRole(state, *remote->services().accessibility);
    remote.reset();
    server.reset();
    std::filesystem::remove_all(directory);
}
BENCHMARK(BM_AccessibilityCallThroughServer);

void BM_OverlayChangePublishedToServer(benchmark::State& state)
{
    RunLoop::adoptCurrentThreadAsMain();
    std::string directory = (std::filesystem::temp_directory_path() / "lorvantine-bench-XXXXXX").string();
    if (!::mkdtemp(directory.data())) {
        state.SkipWithError("no private directory");
        return;
    }
    std::string error;
    auto server = DesktopServer::start(SimDesktop::demo(), directory + "/desktop.sock", error);
    auto remote = server ? RemoteDesktop::connect(server->path(), error) : nullptr;
    auto local = SimWindowHost::create(SimDesktop::demo());
    auto shared = remote ? SharedWindowHost::create(local, remote, error) : nullptr;
    if (!shared) {
        state.SkipWithError(error.c_str());
        return;
    }
    {
        Platform::ScopedServices services(remote->services());
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
    shared.reset();
    remote.reset();
    server.reset();
    RunLoop::runPending();
    std::filesystem::remove_all(directory);
}
BENCHMARK(BM_OverlayChangePublishedToServer)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
