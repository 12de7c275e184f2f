#include "App/AppDelegate.h"
#include "App/ApplicationShell.h"
#include "Audio/AudioPlayer.h"
#include "CLI/CLIRouter.h"
#include "CLI/SignalSource.h"
#include "Core/ArticleReader.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Backends/RemoteTextRecognizer.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Application.h"
#include "SimDesktop/Control/SimControlServer.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "SimDesktop/Served/SharedWindowHost.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

using namespace lorvantine;

namespace {

// LORVANTINE_SNAPSHOT_DIR: a picture of the whole screen, highlight and mini player included,
// each time the shared reading session starts to play another paragraph, written as
// snapshot-01.png, snapshot-02.png, ... It only watches the session; it changes nothing in it.
class ScreenSnapshots {
public:
    static std::unique_ptr<ScreenSnapshots> start(std::shared_ptr<SimDesktop> desktop, const std::filesystem::path& directory,
                                                  std::string& error)
    {
        std::error_code failure;
        std::filesystem::create_directories(directory, failure);
        if (failure || !std::filesystem::is_directory(directory)) {
            error = "cannot use " + directory.string() + " for snapshots: "
                + (failure ? failure.message() : std::string("not a directory"));
            return nullptr;
        }
        std::unique_ptr<ScreenSnapshots> snapshots(new ScreenSnapshots(std::move(desktop), directory));
        ScreenSnapshots* self = snapshots.get();
        snapshots->m_timer = Timer::scheduled(pollInterval, Timer::Repeats::yes, [self](Timer&) { self->tick(); });
        return snapshots;
    }

    // Stops watching and waits for the pictures still being written.
    void finish()
    {
        if (m_timer)
            m_timer->invalidate();
        m_timer.reset();
        m_writing.wait(seconds(5));
    }

    ~ScreenSnapshots() { finish(); }

private:
    static constexpr Duration pollInterval = seconds(0.05);
    // The highlight moves on the main queue right after playback reports the new paragraph.
    static constexpr Duration settleTime = seconds(0.1);

    struct Pending {
        int paragraph = 0;
        TimePoint due {};
    };

    ScreenSnapshots(std::shared_ptr<SimDesktop> desktop, std::filesystem::path directory)
        : m_desktop(std::move(desktop))
        , m_directory(std::move(directory))
    {
    }

    void tick()
    {
        const auto& reader = ArticleReader::shared();
        std::optional<int> playing;
        if (reader->isReading()) {
            AudioPlayer& player = reader->player();
            std::lock_guard guard(player.lock);
            if (player.currentSegment)
                playing = player.currentSegment->paragraphIndex;
        }
        const TimePoint now = Clock::current().now();
        if (playing && playing != m_lastTaken && (!m_pending || m_pending->paragraph != *playing)) {
            // A paragraph shorter than the settling time still gets its picture.
            if (m_pending)
                takePending();
            m_pending = Pending { *playing, now + settleTime };
        }
        if (m_pending && now >= m_pending->due)
            takePending();
    }

    void takePending()
    {
        take(m_pending->paragraph);
        m_lastTaken = m_pending->paragraph;
        m_pending.reset();
    }

    void take(int paragraph)
    {
        char name[32];
        std::snprintf(name, sizeof name, "snapshot-%02d.png", ++m_count);
        const std::string path = (m_directory / name).string();
        // Drawn here, on the main thread, where the highlight moves: drawn later on another thread,
        // a busy machine could show the next paragraph's mark. Only the encoding goes elsewhere.
        auto picture = SimRenderer::renderScreen(*m_desktop, 0, 1.0);
        if (!picture) {
            Log::line("[Snapshot] ❌ no screen to draw");
            return;
        }
        m_writing.async(DispatchQueue::global(QualityOfService::utility), [picture = std::move(picture), path, paragraph] {
            if (auto saved = picture->image.savePNG(path); !saved) {
                Log::line("[Snapshot] ❌ " + saved.error().message);
                return;
            }
            Log::line("[Snapshot] para[" + std::to_string(paragraph) + "] → " + path);
        });
    }

    std::shared_ptr<SimDesktop> m_desktop;
    std::filesystem::path m_directory;
    std::shared_ptr<Timer> m_timer;
    std::optional<int> m_lastTaken;
    std::optional<Pending> m_pending;
    int m_count = 0;
    DispatchGroup m_writing;
};

bool wantsCommandLine(const std::vector<std::string>& args)
{
    return args.size() > 1 && std::any_of(args.begin() + 1, args.end(), [](const std::string& a) { return a.starts_with("--"); });
}

// The menu-bar application on the desktop, driven through the control channel until "quit" or
// Ctrl+C. LORVANTINE_CONTROL_PIPE adds the control pipe: "auto" in the private place, else the
// path it names.
int runApplication(const std::shared_ptr<SimDesktop>& desktop)
{
    // Ctrl+C, a plain kill and a closed terminal end the run as "quit" does, so the control pipe
    // is removed; one that came while the program was still setting up ends it as soon as it
    // runs. The run takes the first only: one more while it ends is the end's (see leave()).
    std::string error;
    auto interrupt = SignalSource::create(SignalSource::endingSignals, [](int) { Application::shared().terminate(); }, error,
                                          SignalSource::Delivery::mainQueue, SignalSource::Takes::first);
    if (!interrupt)
        Log::line("[Control] ⚠️ Ctrl+C 处理未安装: " + error);

    SimControlServer::Options options;
    if (const char* pipe = std::getenv("LORVANTINE_CONTROL_PIPE"); pipe && *pipe)
        options.pipe = std::string(pipe) == "auto" ? std::filesystem::path() : std::filesystem::path(pipe);
    auto started = SimControlServer::start(desktop, std::move(options));
    if (!started) {
        std::fprintf(stderr, "lorvantine: %s\n", started.error().c_str());
        return 1;
    }
    std::shared_ptr<SimControlServer> server = std::move(*started);
    if (auto path = server->pipePath())
        Log::line("[Control] 📮 pipe: " + path->string());
    server->onQuit = [] { Application::shared().terminate(); };

    Application::shared().setActivationPolicy(ActivationPolicy::accessory);
    auto delegate = AppDelegate::create(ApplicationShell::parts());
    DispatchQueue::main().async([delegate, weak = std::weak_ptr<SimControlServer>(server)] {
        delegate->applicationDidFinishLaunching();
        // The control lines that came while the application started have waited: a key sent
        // before the hotkey was registered would have pressed nothing.
        if (auto control = weak.lock())
            control->setReady();
    });
    Application::shared().run();
    // Signals from here on wait for the end of the process (see leave()); one taken by this
    // source now would be posted to a main queue that never runs again.
    interrupt.reset();
    server.reset();
    return 0;
}

// How long the end of the process waits for background work still running (a measurement in
// another application, a scroll step) to return.
constexpr auto workInFlightWait = std::chrono::seconds(3);

// Ends the process with `status` without pulling anything from under the background work: a
// reading still running is stopped, the pool stops taking work and the work running is waited
// for, so that the objects it uses (the desktop, the reading session, the ports) are destroyed
// only once nothing runs on them. Work that does not return in time is left running, and then
// nothing is destroyed at all: the process leaves at once, after flushing what it wrote.
int leave(int status)
{
    // Quitting while reading: the sound stops before the process goes.
    if (auto reader = ArticleReader::sharedIfMade(); reader && reader->isReading())
        reader->stop();
    // The output lives as long as the process: a WAV file is made whole here, not by its closing.
    AudioOutput::flush();

    // Whatever must be whole is by now: the control pipe is gone, the pictures are written, the
    // sound has stopped and the sound file is whole, and other files are replaced whole. So a
    // person who presses Ctrl+C again because the ending seems slow (or a second request to
    // terminate), now or since the first, need not wait for the work in flight or the teardown:
    // the process leaves at once, with the status a shell gives a program ended by that signal.
    // The source lives as long as the process.
    std::string error;
    static SignalSource* const leavingAtOnce =
        SignalSource::create(SignalSource::endingSignals, [](int signal) { std::_Exit(128 + signal); }, error,
                             SignalSource::Delivery::sourceThread)
            .release();
    if (!leavingAtOnce)
        Log::line("[Exit] ⚠️ " + error);

    if (Dispatch::shutdown(std::chrono::duration_cast<std::chrono::milliseconds>(workInFlightWait)))
        return status;
    Log::line("[Exit] ⚠️ background work still running; leaving without clean-up");
    std::fflush(nullptr);
    std::_Exit(status);
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string> args(argv, argv + argc);
    // Ctrl+C, SIGTERM and SIGHUP end the application in order whenever they come, from the first
    // moment: one that comes while it sets up waits for the run, which then ends at once, and
    // one that comes while it ends is the end's (see leave()). The command line keeps the
    // system's action until a command takes them, as the commands that read aloud do.
    std::string error;
    const auto hold = wantsCommandLine(args) ? SignalSource::Hold::afterFirstSource : SignalSource::Hold::now;
    if (!SignalSource::holdForTheProcess(SignalSource::endingSignals, hold, error))
        std::fprintf(stderr, "lorvantine: %s\n", error.c_str());
    // A reader of our output that goes away (a closed pipe) must not end the program: the
    // write fails and the program carries on.
    std::signal(SIGPIPE, SIG_IGN);
    // Nor must a file-size limit: a write past it fails (EFBIG) as one to a full disk does, and
    // is answered the same way (the sound file stops growing, a report says it was not written).
    std::signal(SIGXFSZ, SIG_IGN);
    RunLoop::adoptCurrentThreadAsMain();
    auto desktop = SimDesktop::fromEnvironment(error);
    if (!desktop) {
        std::fprintf(stderr, "lorvantine: cannot load the desktop fixture named by LORVANTINE_DESKTOP: %s\n", error.c_str());
        return 1;
    }
    desktop->install();
    auto host = SimWindowHost::install(desktop);
    // With a shared desktop named, the desktop's ports are that server's; the program's own
    // toolkit keeps drawing on the local desktop, which the shared host below mirrors there.
    std::shared_ptr<RemoteDesktop> remote;
    if (const char* socket = std::getenv(DesktopSocket::environmentVariable); socket && *socket) {
        remote = RemoteDesktop::connect(socket, error);
        if (!remote) {
            std::fprintf(stderr, "lorvantine: cannot reach the shared desktop: %s\n", error.c_str());
            return 1;
        }
        PlatformServices services = remote->services(Platform::current().processes);
        // Text is read from what the server drew, unless the pixels are to be read.
        services.textRecognizer = SimRecognitionTruth::readsPixels() ? Platform::current().textRecognizer
                                                                      : std::make_shared<RemoteTextRecognizer>(remote);
        Platform::install(std::move(services));
    }
    // The application's windows are windows of its application there too; a command-line run
    // registers nothing (a runner must not find itself).
    if (remote && !wantsCommandLine(args)) {
        auto shared = SharedWindowHost::create(host, remote, error);
        if (!shared) {
            std::fprintf(stderr, "lorvantine: cannot show the program's windows on the shared desktop: %s\n", error.c_str());
            return 1;
        }
        WindowHost::install(std::move(shared));
    }

    std::unique_ptr<ScreenSnapshots> snapshots;
    if (const char* directory = std::getenv("LORVANTINE_SNAPSHOT_DIR"); directory && *directory) {
        snapshots = ScreenSnapshots::start(desktop, directory, error);
        if (!snapshots) {
            std::fprintf(stderr, "lorvantine: %s\n", error.c_str());
            return 1;
        }
    }

    const int status = wantsCommandLine(args) ? CLIRouter::route(args) : runApplication(desktop);
    if (snapshots)
        snapshots->finish();
    return leave(status);
}
