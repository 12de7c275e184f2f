// Pictures of the demo desktop: the whole 1440 × 900 screen at its backing scale (2×, so
// 2880 × 1800 pixels) and at 1×, and one capture of Safari's window written as a PNG file.
#include "Platform/WindowCapturePort.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace lorvantine {
namespace {

void fullScreen(benchmark::State& state)
{
    auto desktop = SimDesktop::demo();
    const double scale = static_cast<double>(state.range(0));
    for (auto _ : state) {
        auto picture = SimRenderer::renderScreen(*desktop, 0, scale);
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(fullScreen)->Arg(2)->Arg(1)->Unit(benchmark::kMillisecond);

void windowCapture(benchmark::State& state)
{
    auto desktop = SimDesktop::demo();
    auto capture = desktop->services().windowCapture;
    char path[] = "/tmp/lorvantine-bench-capture-XXXXXX";
    const int fd = ::mkstemp(path);
    ::close(fd);
    for (auto _ : state) {
        auto status = capture->captureWindow(8101, path);
        if (!status || *status != 0)
            state.SkipWithError("capture failed");
    }
    ::unlink(path);
}
BENCHMARK(windowCapture)->Unit(benchmark::kMillisecond);

void windowPicture(benchmark::State& state)
{
    auto desktop = SimDesktop::demo();
    for (auto _ : state) {
        auto picture = SimRenderer::renderWindow(*desktop, 8101);
        benchmark::DoNotOptimize(picture);
    }
}
BENCHMARK(windowPicture)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
