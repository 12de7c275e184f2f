// How long a whole "--probe-e2e" run takes outside the runner's own pauses: the work of the
// runner, the shared desktop's round trips and the program's reactions that the runner waits for.
//
//   bench_e2e_probe [--runs N]
//
// The desktop server (tests/fixtures/e2e-desktop.json), the stand-in speech server and the program
// in application mode run as child processes, as in the end-to-end tests. The runner itself runs
// in this process on the served desktop, with the configuration tests/fixtures/e2e-probe-matrix.json
// (an editor that passes every step, one that never offers a bubble), under a clock that adds
// up every sleep of the main thread. All of the runner's waiting goes through that clock — the
// fixed pauses between synthetic events and the pauses of its polls — so the wall time less
// the time slept is what the run costs beyond its pauses. A poll that waits for the program counts
// as pause, so the program's latency shows only to the granularity of the poll (0.12–0.15 s).
// The first run also waits for the editors to launch (their launch delays pass on the server,
// outside this process's clock); later runs find them running.
// The runner's console goes to a file in a scratch directory; its totals line and the figures go
// to standard output.

#include "CLI/EndToEndProbeRunner.h"
#include "EndToEnd/SharedDesktopRun.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace lorvantine {
namespace {

using WallClock = std::chrono::steady_clock;

// The steady clock, with the time the main thread spent asleep on it added up.
class SleepCountingClock final : public Clock {
public:
    explicit SleepCountingClock(std::thread::id main) : m_main(main) { }
    TimePoint now() const override { return m_steady.now(); }
    void sleepUntil(TimePoint deadline) override
    {
        const TimePoint before = m_steady.now();
        m_steady.sleepUntil(deadline);
        if (std::this_thread::get_id() == m_main)
            m_slept += m_steady.now() - before;
    }
    std::shared_ptr<void> addAdvanceListener(std::function<void()>) override { return nullptr; }
    Duration slept() const { return m_slept; }

private:
    SteadyClock m_steady;
    const std::thread::id m_main;
    Duration m_slept { 0 };
};

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_e2e_probe: %s\n", message.c_str());
    std::exit(1);
}

struct Measurement {
    double wall = 0;
    double slept = 0;
    int status = 0;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace
} // namespace lorvantine

int main(int argc, char** argv)
{
    using namespace lorvantine;
    int runs = 3;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--runs" && i + 1 < argc)
            runs = std::max(1, std::atoi(argv[++i]));
        else
            fail("usage: bench_e2e_probe [--runs N]");
    }

    RunLoop::adoptCurrentThreadAsMain();
    const std::filesystem::path source = LORVANTINE_SOURCE_DIR;
    test::SharedDesktopRun shared(source / "tests" / "fixtures" / "e2e-desktop.json");
    if (!shared.ready())
        fail(shared.failure());
    shared.stage("tests/fixtures/e2e-probe-fixture.txt");

    std::string error;
    auto remote = RemoteDesktop::connect(shared.socket().string(), error);
    if (!remote)
        fail(error);
    Platform::install(remote->services());
    auto clock = std::make_shared<SleepCountingClock>(std::this_thread::get_id());
    Clock::install(clock);

    // The runner writes its console lines to standard error: into a file, away from the figures.
    const auto console = shared.runnerDirectory() / "runner.log";
    const int log = ::open(console.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int savedError = ::dup(STDERR_FILENO);
    if (log < 0 || savedError < 0)
        fail("cannot redirect the runner's console");

    EndToEndProbeRunner::Environment environment;
    environment.files.directory = shared.runnerDirectory();
    environment.logPath = shared.programLog().string();
    environment.copyDirectory = shared.runnerDirectory();
    const std::string config = (source / "tests" / "fixtures" / "e2e-probe-matrix.json").string();

    std::vector<Measurement> measured;
    for (int run = 0; run < runs; ++run) {
        ::dup2(log, STDERR_FILENO);
        const Duration sleptBefore = clock->slept();
        const auto start = WallClock::now();
        const int status = EndToEndProbeRunner::run(config, environment);
        const auto end = WallClock::now();
        ::dup2(savedError, STDERR_FILENO);
        measured.push_back({ std::chrono::duration<double>(end - start).count(), toSeconds(clock->slept() - sleptBefore), status });
        const Measurement& m = measured.back();
        std::printf("run %d: status %d, wall %.3f s, slept %.3f s, outside the sleeps %.3f s\n", run + 1, m.status, m.wall, m.slept,
                    m.wall - m.slept);
        std::fflush(stdout);
    }
    ::close(log);
    const std::string lines = test::readFile(console);
    if (const size_t totals = lines.rfind("📊 Total"); totals != std::string::npos)
        std::printf("last run: %s", lines.substr(totals, lines.find('\n', totals) - totals + 1).c_str());

    std::vector<double> walls, outside;
    for (const Measurement& m : measured) {
        walls.push_back(m.wall);
        outside.push_back(m.wall - m.slept);
    }
    std::printf("median of %d: wall %.3f s, outside the sleeps %.3f s\n", runs, median(walls), median(outside));

    Clock::install(nullptr);
    return 0;
}
