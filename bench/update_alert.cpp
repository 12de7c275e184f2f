// The update check's cost on the main thread when the manifest announces a newer version with
// release notes of the given size (bytes of a change log, one change a line): the alert built,
// laid out and drawn once at 1×, then dismissed. The transport answers at once from memory, so
// what is left besides the main thread is reading the manifest on the session's queue.
//   - `main_thread_ms`: CPU time of the main thread from the start of the check to its end;
//   - the iteration time: the whole check, wall clock.
#include "App/UpdateChecker.h"
#include "BenchDesktops.h"
#include "Platform/HttpPort.h"
#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Panel.h"

#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

#include <ctime>
#include <memory>
#include <string>

namespace lorvantine {
namespace {

// Answers every request with one manifest, on its own queue, at once.
class ManifestSession final : public HttpSession {
public:
    explicit ManifestSession(const std::string& manifest) : m_body(manifest.begin(), manifest.end()) { }

    HttpTask dataTask(HttpRequest request, Completion completion) override
    {
        HttpResponse response { .status = 200, .headers = {}, .body = m_body, .url = request.url };
        m_queue->async([completion = std::move(completion), response = std::move(response)] { completion(response); });
        return {};
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

private:
    std::vector<std::uint8_t> m_body;
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("bench.update-feed");
};

double threadCpuMilliseconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

void checkWithNotes(benchmark::State& state)
{
    SimFixture fixture;
    fixture.screens.push_back(ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 1 });
    bench::ProgramOnDesktop program(SimDesktop::create(fixture));

    std::string notes;
    for (int line = 1; notes.size() < static_cast<size_t>(state.range(0)); ++line)
        notes += "• 第 " + std::to_string(line) + " 项：翻页之后从正确的段落接着朗读，不再重读上一段。\n";
    const std::string manifest
        = nlohmann::json { { "version", "1.3" }, { "download_url", "https://example.com/L.dmg" }, { "release_notes", notes } }.dump();
    auto checker = UpdateChecker::create({ .installedVersion = "1.2.0", .session = std::make_shared<ManifestSession>(manifest) });

    int shown = 0;
    Alert::ScopedResponder responder([&](Alert& alert) {
        auto image = program.host->renderWindow(*alert.panel(), 1);
        benchmark::DoNotOptimize(image);
        ++shown;
        Alert::abortModal();
    });
    double mainThread = 0;
    for (auto _ : state) {
        program.defaults->removeObject(UpdateChecker::remindedKey);
        const double before = threadCpuMilliseconds();
        checker->checkInBackground();
        Dispatch::waitUntilIdle(std::chrono::seconds(120));
        mainThread += threadCpuMilliseconds() - before;
    }
    if (shown != static_cast<int>(state.iterations()))
        state.SkipWithError("not every check showed its alert");
    state.counters["main_thread_ms"] = benchmark::Counter(mainThread / static_cast<double>(state.iterations()));
}
BENCHMARK(checkWithNotes)->Arg(0)->Arg(2000)->Arg(20000)->Unit(benchmark::kMillisecond);
BENCHMARK(checkWithNotes)->Arg(900000)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
