#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WindowCapturePort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <map>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace lorvantine {
namespace {

using Json = nlohmann::json;
using test::ScratchDirectory;

constexpr auto servedWait = std::chrono::seconds(20);

class DesktopServerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        startServer();
    }
    void TearDown() override
    {
        server.reset();
        RunLoop::runPending();
    }

    void startServer(DesktopServer::Options options = {})
    {
        std::string error;
        server = DesktopServer::start(desktop, socketPath, error, std::move(options));
        ASSERT_TRUE(server) << error;
    }

    std::shared_ptr<RemoteDesktop> connect()
    {
        std::string error;
        auto remote = RemoteDesktop::connect(socketPath, error);
        EXPECT_TRUE(remote) << error;
        return remote;
    }

    // A connection that speaks raw frames.
    int rawConnection()
    {
        auto fd = DesktopSocket::connect(socketPath);
        EXPECT_TRUE(fd);
        return fd ? fd.value() : -1;
    }

    bool runUntil(const std::function<bool()>& done) { return RunLoop::runUntil(done, servedWait); }

    ScratchDirectory scratch;
    std::string socketPath = (scratch / "desktop.sock").string();
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    PlatformServices local = desktop->services();
    std::unique_ptr<DesktopServer> server;
};

TEST_F(DesktopServerTest, RemotePortsAnswerAsTheDesktopDoes)
{
    auto remote = connect();
    PlatformServices ports = remote->services();
    const AXElement safari { 501, 0 };
    const AXElement window = desktop->windowElement(8101);

    struct Query {
        AXElement element;
        const char* attribute;
    };
    for (const Query& q : { Query { safari, "AXRole" }, Query { safari, "AXWindows" }, Query { window, "AXTitle" },
                            Query { window, "AXFrame" }, Query { window, "AXChildren" }, Query { window, "AXNoSuchThing" },
                            Query { AXElement { 501, 999999 }, "AXRole" }, Query { AXElement { 4444, 0 }, "AXRole" } }) {
        AXValue expected, got;
        EXPECT_EQ(ports.accessibility->copyAttributeValue(q.element, q.attribute, got),
                  local.accessibility->copyAttributeValue(q.element, q.attribute, expected))
            << q.attribute;
        EXPECT_EQ(got, expected) << q.attribute;
    }
    std::vector<std::string> names, localNames;
    EXPECT_EQ(ports.accessibility->copyAttributeNames(window, names), AXError::success);
    local.accessibility->copyAttributeNames(window, localNames);
    EXPECT_EQ(names, localNames);
    EXPECT_EQ(ports.accessibility->systemWideElement(), local.accessibility->systemWideElement());
    EXPECT_TRUE(ports.accessibility->isProcessTrusted(AccessibilityPort::Prompt::no));

    EXPECT_EQ(ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly),
              local.windowServer->copyWindowInfo(WindowListOption::onScreenOnly));
    EXPECT_EQ(ports.windowServer->screens(), local.windowServer->screens());
    EXPECT_EQ(ports.workspace->runningApplications(), local.workspace->runningApplications());
    EXPECT_EQ(ports.workspace->operatingSystemVersion(), local.workspace->operatingSystemVersion());
    for (const char* bundleID : { "com.apple.Safari", "com.example.Absent" })
        EXPECT_EQ(ports.workspace->applicationPath(bundleID), local.workspace->applicationPath(bundleID)) << bundleID;
    EXPECT_EQ(ports.workspace->applicationPath("com.apple.Safari"), "/Applications/Safari.app");
    EXPECT_EQ(ports.permissions->checkInputMonitoring(), local.permissions->checkInputMonitoring());

    // What one process writes, another reads: the pasteboard is the desktop's.
    PasteboardItem item { { { "public.utf8-plain-text", "copied" }, { "public.png", std::string("\x89PNG\0\x01", 6) } } };
    const int64_t before = local.pasteboard->changeCount();
    EXPECT_EQ(ports.pasteboard->clearContents(), before + 1);
    EXPECT_TRUE(ports.pasteboard->writeObjects({ item }));
    EXPECT_EQ(local.pasteboard->pasteboardItems(), std::vector<PasteboardItem> { item });
    EXPECT_EQ(ports.pasteboard->stringForType("public.utf8-plain-text"), "copied");

    std::string error;
    EXPECT_FALSE(ports.workspace->runAppleScript("beep", error));
    EXPECT_FALSE(error.empty());

    auto capture = ports.windowCapture->captureWindow(8101, (scratch / "window.png").string());
    ASSERT_TRUE(capture);
    EXPECT_EQ(capture.value(), 0);
    EXPECT_TRUE(std::filesystem::file_size(scratch / "window.png") > 0);
}

// Three connections each move and resize their own window, alternately, reading each change
// back; each hears its own window's notifications, every one, in the order of the changes.
// Three client processes each move and resize a window of their own through the server and
// watch it: every set is read back and every notification reaches its process, in order.
TEST_F(DesktopServerTest, ThreeClientProcessesUnderLoadLoseNothingAndKeepOrder)
{
    constexpr int rounds = 1200; // 3 × (2 requests + 1 notification) × 1200 = 10,800 messages
    std::vector<AXElement> windows = { desktop->windowElement(8101), desktop->windowElement(8201) };
    ProcessID third = desktop->addApplication({ .pid = 777, .bundleIdentifier = "com.example.Third" });
    windows.push_back(desktop->windowElement(desktop->addWindow(third, SimWindow { .title = "Third", .frame = Rect(50, 50, 300, 200) })));

    const std::string client = LORVANTINE_BINARY_DIR "/desktop-load-client";
    std::vector<pid_t> children;
    for (const AXElement& window : windows) {
        const std::vector<std::string> args = { client, socketPath, std::to_string(window.pid), std::to_string(window.node),
                                                std::to_string(rounds) };
        std::vector<char*> argv;
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        pid_t child = 0;
        ASSERT_EQ(::posix_spawn(&child, client.c_str(), nullptr, nullptr, argv.data(), environ), 0);
        children.push_back(child);
    }
    // The server's pushes leave from this process's main queue: run it until every client is done.
    std::map<pid_t, int> statuses;
    EXPECT_TRUE(RunLoop::runUntil([&] {
        for (pid_t child : children) {
            int status = 0;
            if (!statuses.contains(child) && ::waitpid(child, &status, WNOHANG) == child)
                statuses[child] = status;
        }
        return statuses.size() == children.size();
    }, std::chrono::seconds(60)));
    for (pid_t child : children) {
        if (!statuses.contains(child)) {
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            continue;
        }
        EXPECT_TRUE(WIFEXITED(statuses[child]) && WEXITSTATUS(statuses[child]) == 0) << "client " << child;
    }
}

TEST_F(DesktopServerTest, MalformedOrOversizedMessagesAreAnsweredWithAnErrorAndClosed)
{
    auto frame = [](const std::string& payload) {
        std::string out = { char(payload.size() >> 24), char(payload.size() >> 16), char(payload.size() >> 8), char(payload.size()) };
        return out + payload;
    };
    auto cbor = [](const Json& json) {
        auto bytes = Json::to_cbor(json);
        return std::string(bytes.begin(), bytes.end());
    };
    struct Case {
        const char* name;
        std::string bytes;
        const char* reason;
    };
    const Case cases[] = {
        { "not CBOR", frame("\xff\xfe garbage"), "malformed" },
        { "not a map", frame(cbor(Json(42))), "not a map" },
        { "truncated map", frame(cbor(Json { { "id", 1 }, { "op", "ax.systemWide" } }).substr(0, 5)), "malformed" },
        { "no op", frame(cbor(Json { { "id", 1 } })), "\"op\"" },
        { "unknown op", frame(cbor(Json { { "id", 2 }, { "op", "ax.format" } })), "unknown request" },
        { "bad arguments", frame(cbor(Json { { "id", 3 }, { "op", "ax.copy" }, { "element", "Safari" }, { "name", "AXRole" } })),
          "bad arguments" },
        { "oversized", std::string("\x7f\xff\xff\xff", 4) + "abc", "above the limit" },
    };
    for (const Case& c : cases) {
        int fd = rawConnection();
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL), ssize_t(c.bytes.size())) << c.name;
        DesktopFrame::Read answer = DesktopFrame::read(fd);
        ASSERT_EQ(answer.kind, DesktopFrame::Read::Kind::message) << c.name;
        const std::string* error = answer.message.contains("error") ? answer.message["error"].get_ptr<const std::string*>() : nullptr;
        ASSERT_TRUE(error) << c.name;
        EXPECT_NE(error->find(c.reason), std::string::npos) << c.name << ": " << *error;
        EXPECT_EQ(DesktopFrame::read(fd).kind, DesktopFrame::Read::Kind::closed) << c.name;
        ::close(fd);
    }
    // The server still serves.
    auto remote = connect();
    EXPECT_EQ(remote->services().accessibility->systemWideElement(), (AXElement { 0, 1 }));
}

// Frames that would decode into far more than any message holds: many empty maps (one byte each
// on the wire, a hundred or more in memory) and nesting deeper than any message. Each is answered
// with the reason under its request's id, and the same connection is served on.
TEST_F(DesktopServerTest, AFrameThatWouldDecodeIntoTooMuchIsRefusedAndItsClientServedOn)
{
    auto frame = [](const std::string& payload) {
        std::string out = { char(payload.size() >> 24), char(payload.size() >> 16), char(payload.size() >> 8), char(payload.size()) };
        return out + payload;
    };
    const std::string id7 = std::string("\x62id") + char(0x07), id8 = std::string("\x62id") + char(0x08);
    const std::string op = "\x62op\x6d" "ax.systemWide";
    const uint32_t maps = DesktopFrame::maxValues;
    const std::string manyMaps = std::string("\x61x\x9a") + char(maps >> 24) + char(maps >> 16) + char(maps >> 8) + char(maps)
                                 + std::string(maps, '\xa0');
    const std::string deep = "\x61x" + std::string(DesktopFrame::maxDepth + 8, '\x81') + '\x01';
    const struct {
        const char* name;
        std::string bytes;
        int64_t id;
        const char* reason;
    } cases[] = {
        // The padding before the id, as a map's keys in order may put it.
        { "many empty maps", frame("\xa3" + manyMaps + id7 + op), 7, "more than 1048576 values" },
        { "nested too deep", frame("\xa3" + id8 + op + deep), 8, "nested deeper than 32 levels" },
    };
    int fd = rawConnection();
    ASSERT_GE(fd, 0);
    for (const auto& c : cases) {
        ASSERT_TRUE(DesktopFrame::writeBytes(fd, c.bytes)) << c.name;
        DesktopFrame::Read answer = DesktopFrame::read(fd);
        ASSERT_EQ(answer.kind, DesktopFrame::Read::Kind::message) << c.name;
        EXPECT_EQ(answer.message.value("id", int64_t(-1)), c.id) << c.name;
        EXPECT_NE(answer.message.value("error", std::string()).find(c.reason), std::string::npos) << answer.message.dump();
        EXPECT_FALSE(answer.message.contains("ok")) << c.name;
    }
    ASSERT_TRUE(DesktopFrame::write(fd, Json { { "id", 9 }, { "op", "ax.systemWide" } }));
    DesktopFrame::Read served = DesktopFrame::read(fd);
    ASSERT_EQ(served.kind, DesktopFrame::Read::Kind::message);
    EXPECT_EQ(served.message, (Json { { "id", 9 }, { "ok", Json::array({ 0, 1 }) } }));
    EXPECT_EQ(server->connectionCount(), 1u);
    ::close(fd);
}

TEST_F(DesktopServerTest, AClientKilledMidRequestLeavesTheServerAndOthersWorking)
{
    auto steady = connect();
    auto ports = steady->services();
    // A child process sends half a request and is killed while the server waits for the rest.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto fd = DesktopSocket::connect(socketPath);
        const char half[] = { 0, 0, 0, 40, char(0xa2) };
        if (fd)
            (void)!::write(fd.value(), half, sizeof half);
        ::pause();
        ::_exit(0);
    }
    ASSERT_TRUE(runUntil([&] { return server->connectionCount() == 2; }));
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(runUntil([&] { return server->connectionCount() == 1; }));

    AXValue role;
    EXPECT_EQ(ports.accessibility->copyAttributeValue({ 501, 0 }, "AXRole", role), AXError::success);
    EXPECT_EQ(role, AXValue(std::string("AXApplication")));
}

TEST_F(DesktopServerTest, AClientThatDisconnectsHasItsApplicationRemoved)
{
    auto client = connect();
    EXPECT_TRUE(client->registerApplication({ .pid = 4242, .bundleIdentifier = "com.example.Client", .localizedName = "Client" }));
    auto runs = [&] {
        for (const auto& application : local.workspace->runningApplications())
            if (application.pid == 4242 && !application.isTerminated)
                return true;
        return false;
    };
    EXPECT_TRUE(runs());
    client.reset();
    EXPECT_TRUE(runUntil([&] { return !runs(); }));
}

TEST_F(DesktopServerTest, MonitorsAndTapsHearAnotherProcesssInputUntilRemoved)
{
    auto watcher = connect();
    auto driver = connect();
    const PlatformServices watching = watcher->services(), driving = driver->services();
    EventMonitorPort& monitors = *watching.eventMonitor;
    std::vector<MonitoredEvent> heard;
    std::vector<EventTapDisabledReason> disabled;
    auto monitor = monitors.addGlobalMonitor(eventTypeMask(InputEventType::leftMouseDown),
                                             [&](const MonitoredEvent& event) { heard.push_back(event); });
    ASSERT_TRUE(monitor);
    auto tap = monitors.createListenOnlyTap(
        eventTypeMask(InputEventType::keyDown), [&](const MonitoredEvent& event) { heard.push_back(event); },
        [&](EventTapDisabledReason reason) { disabled.push_back(reason); });
    ASSERT_TRUE(tap);
    EXPECT_TRUE(monitors.isTapEnabled(*tap));

    WindowServerPort& input = *driving.windowServer;
    InputEvent click = InputEvent::mouse(std::nullopt, InputEventType::leftMouseDown, { 400, 300 });
    click.clickCount = 2;
    input.post(EventTap::hid, click);
    input.post(EventTap::hid, InputEvent::keyboard(EventSourceState::privateState, 8, true));
    ASSERT_TRUE(runUntil([&] { return heard.size() == 2; }));
    EXPECT_EQ(heard[0].type, InputEventType::leftMouseDown);
    EXPECT_EQ(heard[0].location, (Point { 400, 300 }));
    EXPECT_EQ(heard[0].screenLocation, (Point { 400, 600 }));
    EXPECT_EQ(heard[0].clickCount, 2);
    EXPECT_EQ(heard[1].keyCode, 8);
    EXPECT_EQ(heard[1].source, EventSourceState::privateState);

    desktop->disableEventTaps(EventTapDisabledReason::userInput);
    ASSERT_TRUE(runUntil([&] { return !disabled.empty(); }));
    EXPECT_EQ(disabled, std::vector<EventTapDisabledReason> { EventTapDisabledReason::userInput });
    EXPECT_FALSE(monitors.isTapEnabled(*tap));

    monitors.removeMonitor(*monitor);
    monitors.removeTap(*tap);
    input.post(EventTap::hid, click);
    // A request after the click is answered after the click was routed.
    (void)watching.workspace->frontmostApplication();
    RunLoop::runPending();
    EXPECT_EQ(heard.size(), 2u);
}

TEST_F(DesktopServerTest, AnotherUsersConnectionIsClosedUnansweredWithOneLogLine)
{
    server.reset();
    Log::Capture log;
    startServer({ .peerUid = [](int) { return std::optional<uid_t>(::geteuid() + 1); } });
    int fd = rawConnection();
    ASSERT_GE(fd, 0);
    // The server may have closed the connection before the request goes out; either way no
    // answer comes back.
    (void)DesktopFrame::write(fd, Json { { "id", 1 }, { "op", "ax.systemWide" } });
    EXPECT_EQ(DesktopFrame::read(fd).kind, DesktopFrame::Read::Kind::closed);
    ::close(fd);
    EXPECT_EQ(log.linesContaining("refused a connection from user id " + std::to_string(::geteuid() + 1)).size(), 1u);
}

// The built server as a person starts it: it says where it listens, refuses a second server
// on its socket, and removes the socket when stopped; one that was killed leaves a socket the
// next server replaces.
TEST(DesktopServerProcessTest, StartsStopsCleanlyAndItsStaleSocketIsReplaced)
{
    ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    auto launch = [&](std::string& firstLine) {
        int out[2];
        EXPECT_EQ(::pipe(out), 0);
        pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(out[1], 1);
            ::close(out[0]);
            ::setenv(DesktopSocket::environmentVariable, path.c_str(), 1);
            const std::string binary = LORVANTINE_BINARY_DIR "/lorvantine-desktop-server";
            ::execl(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(out[1]);
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            firstLine += c;
        ::close(out[0]);
        return pid;
    };
    auto waitFor = [](pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return status;
    };

    std::string line;
    pid_t server = launch(line);
    ASSERT_EQ(line, std::string(DesktopSocket::environmentVariable) + "=" + path);
    std::string error;
    {
        auto remote = RemoteDesktop::connect(path, error);
        ASSERT_TRUE(remote) << error;
        EXPECT_EQ(remote->services().workspace->frontmostApplication()->bundleIdentifier, "com.apple.Safari");
    }
    auto second = DesktopSocket::listen(path);
    ASSERT_FALSE(second);
    EXPECT_NE(second.error().find("already running"), std::string::npos);
    ::kill(server, SIGTERM);
    int status = waitFor(server);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(std::filesystem::exists(path));

    line.clear();
    server = launch(line);
    ASSERT_FALSE(line.empty());
    ::kill(server, SIGKILL);
    waitFor(server);
    ASSERT_TRUE(std::filesystem::exists(path));
    RunLoop::adoptCurrentThreadAsMain();
    auto replacing = DesktopServer::start(SimDesktop::demo(), path, error);
    ASSERT_TRUE(replacing) << error;
    auto remote = RemoteDesktop::connect(path, error);
    EXPECT_TRUE(remote) << error;
}

} // namespace
} // namespace lorvantine
