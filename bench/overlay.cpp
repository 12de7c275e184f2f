// The highlight overlay's cost on the main thread, on a 1440 × 900 screen with 200 paragraph
// rectangles (one static text element per paragraph in the read window):
//   - one follow tick (the 0.1-second timer) when nothing moved, and when the window moved a
//     point (the rectangles shift and the overlay is drawn again), each less the cost of moving
//     the manual clock by 0.1 s with no overlay attached (`idleClockStep`);
//   - one full redraw of the overlay after new word rectangles (200 of them) arrive, as the
//     window host records it, and the overlay window rasterised alone at 1× and 2×.
#include "BenchDesktops.h"
#include "Overlay/HighlightOverlay.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WindowServerPort.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <optional>
#include <string>

namespace lorvantine {
namespace {

constexpr int paragraphCount = 200;
constexpr uint32_t readerWindow = 42;

// A desktop with the reader's window of 200 short paragraphs, the program's window host, a
// manual clock and settings in memory, for one benchmark.
struct Scene {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<Clock> previousClock;
    std::optional<bench::ProgramOnDesktop> program;
    std::shared_ptr<HighlightOverlay> overlay;
    std::vector<Rect> frames;

    explicit Scene(bool attach = true)
    {
        RunLoop::adoptCurrentThreadAsMain();
        previousClock = Clock::install(clock);

        SimFixture fixture;
        fixture.screens.push_back(ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 });
        SimApplication reader;
        reader.pid = 700;
        reader.bundleIdentifier = "com.example.Reader";
        reader.active = true;
        SimWindow window;
        window.number = readerWindow;
        window.frame = Rect(100, 40, 1200, 820);
        window.main = true;
        SimElement scroll("AXScrollArea");
        scroll.named("scroll").frame(Rect(0, 28, 1200, 792));
        scroll.padding = 20;
        scroll.spacing = 2;
        for (int i = 0; i < paragraphCount; ++i)
            scroll.child(SimElement("AXStaticText", "Paragraph " + std::to_string(i)).named("p" + std::to_string(i)).fontSize(2));
        window.children.push_back(scroll);
        reader.windows.push_back(window);
        fixture.applications.push_back(reader);
        program.emplace(SimDesktop::create(fixture));
        const auto& desktop = program->desktop;

        if (!attach)
            return;
        std::vector<std::optional<AXElement>> elements;
        for (int i = 0; i < paragraphCount; ++i) {
            const AXElement element = desktop->element("p" + std::to_string(i));
            elements.push_back(element);
            frames.push_back(desktop->frameOf(element).value_or(Rect()));
        }
        overlay = std::make_shared<HighlightOverlay>();
        const size_t n = frames.size();
        overlay->attach(frames.front(), frames, elements, std::vector<std::optional<double>>(n),
                        std::vector<std::optional<double>>(n), false, desktop->windowElement(readerWindow),
                        std::vector<std::optional<int>>(n));
        overlay->setCurrent(paragraphCount / 2);
        overlay->setSubHighlight({ Rect(frames[paragraphCount / 2].minX(), frames[paragraphCount / 2].minY(), 40, 3) });
        RunLoop::runPending();
    }

    ~Scene()
    {
        overlay.reset();
        program.reset();
        Clock::install(previousClock);
    }

    Window* overlayWindow() const
    {
        auto list = Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly);
        for (const WindowInfo& info : list.value_or(std::vector<WindowInfo> {}))
            if (info.kCGWindowOwnerPID == program->host->pid() && info.kCGWindowBounds == Rect(0, 0, 1440, 900))
                return program->host->window(*info.kCGWindowNumber);
        return nullptr;
    }
};

void idleClockStep(benchmark::State& state)
{
    Scene scene(false);
    for (auto _ : state)
        Dispatch::advance(*scene.clock, seconds(0.1));
}
BENCHMARK(idleClockStep)->Unit(benchmark::kMicrosecond);

void followTickStill(benchmark::State& state)
{
    Scene scene;
    for (auto _ : state)
        Dispatch::advance(*scene.clock, seconds(0.1));
}
BENCHMARK(followTickStill)->Unit(benchmark::kMicrosecond);

void followTickWindowMoved(benchmark::State& state)
{
    Scene scene;
    double x = 100;
    for (auto _ : state) {
        state.PauseTiming();
        x = x == 100 ? 101 : 100;
        scene.program->desktop->moveWindow(readerWindow, { x, 40 });
        RunLoop::runPending();
        state.ResumeTiming();
        Dispatch::advance(*scene.clock, seconds(0.1));
    }
    if (std::abs(scene.overlay->paragraphs().front().minX() - scene.frames.front().minX()) > 1.5)
        state.SkipWithError("the overlay did not follow the window");
}
BENCHMARK(followTickWindowMoved)->Unit(benchmark::kMicrosecond);

void redrawWithWords(benchmark::State& state)
{
    Scene scene;
    std::vector<Rect> words;
    for (const Rect& r : scene.frames)
        words.emplace_back(r.minX(), r.minY(), 30, r.height());
    words.resize(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        scene.overlay->setSubHighlight(words);
        RunLoop::runPending();
    }
}
BENCHMARK(redrawWithWords)->Arg(1)->Arg(200)->Unit(benchmark::kMicrosecond);

void rasterizeOverlay(benchmark::State& state)
{
    Scene scene;
    std::vector<Rect> words;
    for (const Rect& r : scene.frames)
        words.emplace_back(r.minX(), r.minY(), 30, r.height());
    scene.overlay->setSubHighlight(words);
    RunLoop::runPending();
    Window* window = scene.overlayWindow();
    if (!window) {
        state.SkipWithError("no overlay window");
        return;
    }
    const double scale = static_cast<double>(state.range(0));
    for (auto _ : state) {
        auto image = scene.program->host->renderWindow(*window, scale);
        benchmark::DoNotOptimize(image);
    }
}
BENCHMARK(rasterizeOverlay)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
