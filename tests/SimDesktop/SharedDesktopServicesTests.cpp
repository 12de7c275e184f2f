#include "Platform/Backends/DesktopTruthRecognizer.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Backends/RemoteTextRecognizer.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/ProcessPort.h"
#include "Platform/WindowCapturePort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace lorvantine {
namespace {

using test::ScratchDirectory;

// A served desktop and the processes' ports over it, on a manual clock that only the test moves
// (an application's launch waits on it).
class SharedDesktopServicesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        previousClock = Clock::install(clock);
    }
    void TearDown() override
    {
        server.reset();
        RunLoop::runPending();
        Clock::install(previousClock);
    }

    void serve(std::shared_ptr<SimDesktop> served)
    {
        desktop = std::move(served);
        local = desktop->services();
        std::string error;
        server = DesktopServer::start(desktop, (scratch / "desktop.sock").string(), error);
        ASSERT_TRUE(server) << error;
    }

    std::shared_ptr<RemoteDesktop> connect()
    {
        std::string error;
        auto remote = RemoteDesktop::connect(server->path(), error);
        EXPECT_TRUE(remote) << error;
        return remote;
    }

    // Real time is only a bound here: the wait ends when a thread sleeps on the manual clock.
    bool someoneSleeps()
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!clock->nextSleepDeadline()) {
            if (std::chrono::steady_clock::now() > limit)
                return false;
            std::this_thread::yield();
        }
        return true;
    }

    bool runs(const PlatformServices& ports, const std::string& bundleID)
    {
        for (const auto& application : ports.workspace->runningApplications())
            if (application.bundleIdentifier == bundleID)
                return true;
        return false;
    }

    ScratchDirectory scratch;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<Clock> previousClock;
    std::shared_ptr<SimDesktop> desktop;
    PlatformServices local;
    std::unique_ptr<DesktopServer> server;
};

TEST_F(SharedDesktopServicesTest, OpenThroughTheServerLaunchesOnItsDesktopWithoutHoldingUpTheConnection)
{
    serve(SimDesktop::create(fixtureNamed("probe-matrix-desktop.json")));
    auto runner = connect();
    auto other = connect();
    PlatformServices ports = runner->services();
    PlatformServices otherPorts = other->services();
    const std::string file = (scratch / "notes.txt").string();
    {
        std::ofstream out(file);
        out << "Shared desktops read the same words.";
    }

    Expected<ProcessOutcome, std::string> outcome = Unexpected<std::string>("not run");
    std::thread launching([&] { outcome = ports.processes->run("/usr/bin/open", { "-a", "PlainEdit", file }); });
    // While the application takes its launch time, the same connection is answered.
    ASSERT_TRUE(someoneSleeps());
    EXPECT_FALSE(runs(ports, "com.example.PlainEdit"));
    clock->advance(seconds(0.2));
    launching.join();
    ASSERT_TRUE(outcome) << outcome.error();
    EXPECT_EQ(*outcome, ProcessOutcome {});

    EXPECT_TRUE(runs(otherPorts, "com.example.PlainEdit"));
    EXPECT_EQ(otherPorts.workspace->frontmostApplication()->bundleIdentifier, "com.example.PlainEdit");
    auto windows = otherPorts.windowServer->copyWindowInfo(WindowListOption::onScreenOnly);
    ASSERT_TRUE(windows);
    EXPECT_TRUE(std::any_of(windows->begin(), windows->end(), [](const WindowInfo& w) { return w.kCGWindowName == "notes.txt"; }));

    // A script runs on the server's desktop too.
    auto scripted = ports.processes->run("/usr/bin/osascript", { "-e", "tell application id \"com.apple.finder\" to activate" });
    ASSERT_TRUE(scripted);
    EXPECT_EQ(*scripted, ProcessOutcome {});
    EXPECT_EQ(otherPorts.workspace->frontmostApplication()->bundleIdentifier, "com.apple.finder");
}

TEST_F(SharedDesktopServicesTest, AScriptThatWaitsDoesNotHoldUpItsConnection)
{
    serve(SimDesktop::demo());
    auto remote = connect();
    PlatformServices ports = remote->services();

    std::optional<std::string> result;
    std::string error = "not run";
    std::thread scripting([&] {
        result = ports.workspace->runAppleScript("delay 1\ntell application id \"com.apple.finder\" to activate", error);
    });
    // While the script waits, the same connection is answered.
    ASSERT_TRUE(someoneSleeps());
    EXPECT_EQ(ports.workspace->frontmostApplication()->bundleIdentifier, "com.apple.Safari");
    clock->advance(seconds(1));
    scripting.join();
    ASSERT_TRUE(result) << error;
    EXPECT_EQ(error, "");
    EXPECT_EQ(ports.workspace->frontmostApplication()->bundleIdentifier, "com.apple.finder");
}

TEST_F(SharedDesktopServicesTest, RefusedRunsAnswerAsInProcessAndTheTerminalStaysOurOwn)
{
    serve(SimDesktop::create(fixtureNamed("probe-matrix-desktop.json")));
    auto remote = connect();
    auto own = SimDesktop::create(fixtureNamed("probe-matrix-desktop.json"))->services().processes;
    PlatformServices ports = remote->services(own);

    auto missing = ports.processes->run("/usr/bin/frobnicate", { "x" });
    auto missingHere = local.processes->run("/usr/bin/frobnicate", { "x" });
    ASSERT_FALSE(missing);
    ASSERT_FALSE(missingHere);
    EXPECT_EQ(missing.error(), missingHere.error());

    for (const std::vector<std::string>& arguments :
         { std::vector<std::string> { "-a", "NoSuchApp" }, { "-z" }, { "-b" }, { "/no/such/file.txt" } }) {
        auto there = ports.processes->run("/usr/bin/open", arguments);
        auto here = local.processes->run("/usr/bin/open", arguments);
        ASSERT_TRUE(there && here);
        EXPECT_EQ(*there, *here) << arguments.front();
        EXPECT_EQ(there->exitStatus, 1);
    }
    auto script = ports.processes->run("/usr/bin/osascript", { "-e", "frob the world" });
    ASSERT_TRUE(script);
    EXPECT_EQ(*script, *local.processes->run("/usr/bin/osascript", { "-e", "frob the world" }));

    EXPECT_EQ(ports.processes->controllingTerminal(), "/dev/ttys001");
    EXPECT_EQ(remote->services().processes->controllingTerminal(), std::nullopt);

    // Once the server is gone a run says so instead of waiting.
    server.reset();
    auto afterwards = ports.processes->run("/usr/bin/open", { "-a", "PlainEdit" });
    ASSERT_FALSE(afterwards);
    EXPECT_EQ(afterwards.error(), "the desktop server did not answer");
}

// Through the server as in process: what the person types goes into the focused text of the
// application in front (TextEdit, brought forward), and a click on another application's window
// (Safari's, around TextEdit) brings that one forward, with the keys.
TEST_F(SharedDesktopServicesTest, AClickBringsItsApplicationForwardAndTheKeysFollow)
{
    serve(SimDesktop::demo());
    auto remote = connect();
    PlatformServices ports = remote->services();
    const auto textOfTextEdit = [&] {
        AXValue value;
        EXPECT_EQ(local.accessibility->copyAttributeValue(desktop->element("textedit-text"), "AXValue", value), AXError::success);
        const std::string* text = axGet<std::string>(value);
        return text ? *text : std::string();
    };
    const auto type = [&](const std::string& text) {
        for (const std::string& character : Text::characters(text))
            for (bool down : { true, false }) {
                InputEvent key = InputEvent::keyboard(std::nullopt, character == "\n" ? 36 : 0, down);
                if (character != "\n")
                    key.characters = character;
                ports.windowServer->post(EventTap::hid, key);
            }
    };
    const auto click = [&](Point at) {
        for (InputEventType step : { InputEventType::leftMouseDown, InputEventType::leftMouseUp })
            ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, step, at));
    };
    const std::string before = textOfTextEdit();

    ASSERT_TRUE(ports.workspace->activate(502, WorkspacePort::ActivationOptions::allWindows));
    type("Dear Anna,\n");
    EXPECT_EQ(textOfTextEdit(), "Dear Anna,\n" + before);

    click({ 1000, 700 }); // Safari's page, beside TextEdit's window
    EXPECT_EQ(ports.workspace->frontmostApplication()->bundleIdentifier, "com.apple.Safari");
    type("x");
    EXPECT_EQ(textOfTextEdit(), "Dear Anna,\n" + before) << "the keys went to Safari";
}

TEST_F(SharedDesktopServicesTest, CapturesThroughTheServerAreReadAsInProcess)
{
    serve(SimDesktop::demo());
    desktop->recognitionTruth().setNoise({ .typoRate = 0.2, .mergeRate = 0.1, .splitRate = 0.1, .seed = 7 });
    auto remote = connect();
    PlatformServices ports = remote->services();
    RemoteTextRecognizer remoteRecognizer(remote);
    SimRecognitionTruth& truth = desktop->recognitionTruth();
    DesktopTruthRecognizer inProcess([&truth](const Image& image) { return truth.linesFor(image); }, truth.noise());

    const std::string png = (scratch / "safari.png").string();
    auto captured = ports.windowCapture->captureWindow(8101, png);
    ASSERT_TRUE(captured);
    ASSERT_EQ(captured.value(), 0);
    auto image = Image::loadPNG(png);
    ASSERT_TRUE(image);
    TextRecognitionRequest request;
    request.recognitionLanguages = { "en", "zh-Hans" };
    request.usesLanguageCorrection = LanguageCorrection::off;

    const Image crop = image->cropped({ 40, 120, 600, 300 });
    const Image& whole = *image;
    for (const Image* picture : { &whole, &crop }) {
        auto there = remoteRecognizer.recognize(*picture, request);
        auto here = inProcess.recognize(*picture, request);
        ASSERT_TRUE(there && here);
        ASSERT_FALSE(there->empty());
        EXPECT_EQ(*there, *here);
    }

    // What the server never drew, or an image of nothing, is refused as in process.
    for (const Image& unknown : { Image::filled(40, 20, 0xFFFFFFFF), Image {} }) {
        auto there = remoteRecognizer.recognize(unknown, request);
        auto here = inProcess.recognize(unknown, request);
        ASSERT_FALSE(there);
        ASSERT_FALSE(here);
        EXPECT_EQ(there.error(), here.error());
    }
}

} // namespace
} // namespace lorvantine
