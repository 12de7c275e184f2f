// One accessibility call (the role of an application) answered in process by the simulated
// desktop, against the same call made through the desktop server over its Unix socket: the
// round trip a process pays for sharing the desktop. The goal is under 50 µs.
#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
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

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
