#include "EndToEnd/SharedDesktopRun.h"

#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/WorkspacePort.h"

#include <algorithm>
#include <csignal>
#include <thread>

namespace lorvantine::test {

namespace {

using namespace std::chrono_literals;

const std::filesystem::path sharedRunBinaries = LORVANTINE_BINARY_DIR;

// Whether the program has joined the served desktop as one of its running applications.
bool programRegistered(const std::filesystem::path& socket, std::chrono::milliseconds timeout)
{
    std::string error;
    auto remote = RemoteDesktop::connect(socket.string(), error);
    if (!remote)
        return false;
    auto workspace = remote->services().workspace;
    const auto limit = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto running = workspace->runningApplications();
        if (std::any_of(running.begin(), running.end(),
                        [](const RunningApplication& app) { return app.bundleIdentifier == Application::bundleIdentifier; }))
            return true;
        if (std::chrono::steady_clock::now() > limit || !remote->isConnected())
            return false;
        std::this_thread::sleep_for(20ms);
    }
}

} // namespace

SharedDesktopRun::SharedDesktopRun(const std::filesystem::path& fixture)
    : m_directory(m_scratch.path())
    , m_socket(m_scratch / "server" / "desktop.sock")
{
    for (const char* part : { "server", "program", "runner" })
        std::filesystem::create_directory(m_directory / part);
    start(fixture);
}

void SharedDesktopRun::start(const std::filesystem::path& fixture)
{
    m_server = std::make_unique<ChildProcess>(ChildProcess::Options { .program = sharedRunBinaries / "lorvantine-desktop-server",
                                                                      .arguments = { fixture.string() },
                                                                      .environment = desktopEnvironment(),
                                                                      .directory = m_directory / "server" });
    if (!m_server->waitForOutput(std::string(DesktopSocket::environmentVariable) + "=" + m_socket.string(), 10s)) {
        m_failure = "the desktop server did not start: " + m_server->standardError();
        return;
    }

    m_speech = std::make_unique<SpeechServerProcess>();
    if (!m_speech->isRunning()) {
        m_failure = "the speech server did not start";
        return;
    }
    auto environment = desktopEnvironment();
    environment.merge(applicationEnvironment(m_directory / "settings.json", { { "Lorvantine.ttsServerURL", m_speech->baseURL() },
                                                                             { "Lorvantine.hasCompletedOnboarding", true } }));
    m_program = std::make_unique<ControlledApplication>(m_directory / "program", std::vector<std::string> {}, std::move(environment));
    if (!m_program->ready()) {
        m_failure = "the program did not start: " + m_program->process().standardError();
        return;
    }
    // A runner looks for the program among the desktop's applications once, and the drag it
    // makes is only seen by a watcher already listening.
    if (!programRegistered(m_socket, 10s))
        m_failure = "the program did not join the shared desktop: " + m_program->process().standardError();
    else if (!m_program->process().waitForError("[SelectionWatcher] 开始监听全局鼠标/键盘事件", 10s))
        m_failure = "the program's selection watcher did not start: " + m_program->process().standardError();
}

SharedDesktopRun::~SharedDesktopRun()
{
    if (m_program && m_program->ready()) {
        m_program->command("quit", 2s);
        m_program->process().wait(10s);
    }
    m_program.reset();
    m_speech.reset();
    // Stopped by a signal it handles, the server removes its socket.
    if (m_server) {
        m_server->signal(SIGTERM);
        m_server->wait(10s);
    }
}

void SharedDesktopRun::stage(const std::filesystem::path& relative) const
{
    const auto target = runnerDirectory() / relative;
    std::filesystem::create_directories(target.parent_path());
    std::filesystem::copy_file(std::filesystem::path(LORVANTINE_SOURCE_DIR) / relative, target,
                               std::filesystem::copy_options::overwrite_existing);
}

std::map<std::string, std::optional<std::string>> SharedDesktopRun::desktopEnvironment() const
{
    return { { DesktopSocket::environmentVariable, m_socket.string() }, { "LORVANTINE_DESKTOP", std::nullopt } };
}

SharedDesktopRun::Outcome SharedDesktopRun::runProgram(const std::vector<std::string>& arguments, std::chrono::seconds limit)
{
    ChildProcess runner({ .program = sharedRunBinaries / "lorvantine",
                          .arguments = arguments,
                          .environment = desktopEnvironment(),
                          .directory = runnerDirectory(),
                          .workingDirectory = runnerDirectory() });
    Outcome outcome;
    outcome.status = runner.wait(limit);
    outcome.err = runner.standardError();
    return outcome;
}

} // namespace lorvantine::test
