// One accessibility call (the role of an application) answered in process by the simulated
// desktop, against the same call made through the desktop server over its Unix socket: the
// round trip a process pays for sharing the desktop. The goal is under 50 µs.
// And what one change of the program's full-screen overlay costs the program on a shared desktop:
// drawing, PNG encoding and the round trip that shows it there (png_bytes: the picture's size).
// And one switch of the front application pushed to ten processes that listen for it (the
// program, runners, a person's command line), until each has it: wall time and the CPU time of
// the whole process, server and listeners.
#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
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

#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <sys/socket.h>
#include <thread>
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
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
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
        server = DesktopServer::start(desktop, directory + "/desktop.sock", error);
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

// Processes that listen to the desktop's application switches, each reading on a thread of its own.
class Subscribers {
public:
    Subscribers(const std::string& path, size_t count)
    {
        for (size_t i = 0; i < count; ++i) {
            auto fd = DesktopSocket::connect(path);
            if (!fd || !DesktopFrame::write(fd.value(), { { "id", 1 }, { "op", "wk.observe" }, { "channel", 1 } })
                || DesktopFrame::read(fd.value()).kind != DesktopFrame::Read::Kind::message) {
                if (fd)
                    ::close(fd.value());
                continue;
            }
            m_fds.push_back(fd.value());
        }
        for (int fd : m_fds)
            m_readers.emplace_back([this, fd] {
                while (DesktopFrame::read(fd).kind == DesktopFrame::Read::Kind::message) {
                    std::lock_guard lock(m_lock);
                    if (++m_heard == m_awaited)
                        m_changed.notify_all();
                }
            });
    }
    ~Subscribers()
    {
        for (int fd : m_fds)
            ::shutdown(fd, SHUT_RDWR);
        for (std::thread& reader : m_readers)
            reader.join();
        for (int fd : m_fds)
            ::close(fd);
    }
    size_t count() const { return m_fds.size(); }
    // Blocks until `total` pushes have been heard, all listeners together.
    void waitFor(size_t total)
    {
        std::unique_lock lock(m_lock);
        m_awaited = total;
        m_changed.wait(lock, [&] { return m_heard >= total; });
    }

private:
    std::vector<int> m_fds;
    std::vector<std::thread> m_readers;
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_heard = 0;
    size_t m_awaited = 0;
};

void BM_ActivationPushedToTenSubscribers(benchmark::State& state)
{
    ServedDemoDesktop served;
    if (!served.remote) {
        state.SkipWithError(served.error.c_str());
        return;
    }
    Subscribers subscribers(served.server->path(), 10);
    if (subscribers.count() != 10) {
        state.SkipWithError("a subscriber could not connect");
        return;
    }
    const ProcessID pids[] = { 502, 501 };
    size_t switches = 0;
    for (auto _ : state) {
        served.desktop->setFrontmost(pids[switches++ % 2]);
        // The desktop pushes from its main queue.
        RunLoop::runPending();
        subscribers.waitFor(switches * subscribers.count());
    }
}
BENCHMARK(BM_ActivationPushedToTenSubscribers)->UseRealTime()->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
