#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/WorkspacePort.h"
#include "Platform/Image.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Slider.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/WindowHost.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/Served/SharedWindowHost.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace lorvantine {
namespace {

using Json = nlohmann::json;

// Takes every press: what a click on the program's window did, in the window's own points.
class SharedClickView final : public View {
public:
    using View::View;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    void mouseDown(const MouseEvent& e) override { events.push_back({ "down", e.locationInWindow }); }
    void mouseDragged(const MouseEvent& e) override { events.push_back({ "dragged", e.locationInWindow }); }
    void mouseUp(const MouseEvent& e) override { events.push_back({ "up", e.locationInWindow }); }
    std::vector<std::pair<std::string, Point>> events;
};

// The program (its toolkit on a local desktop of its own, a taller screen than the served one)
// shows its windows on a served desktop; a runner, another client, looks at them and uses them.
class SharedWindowsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        std::string error;
        server = DesktopServer::start(desktop, socketPath, error);
        ASSERT_TRUE(server) << error;
        program = RemoteDesktop::connect(socketPath, error);
        runner = RemoteDesktop::connect(socketPath, error);
        ASSERT_TRUE(program && runner) << error;
        ports = runner->services();
        m_previousServices = Platform::install(program->services());
        SimFixture fixture;
        fixture.screens = { ScreenInfo { Rect(0, 0, 1600, 1000), Rect(0, 0, 1600, 975), 1 } };
        local = SimWindowHost::create(SimDesktop::create(fixture));
        shared = SharedWindowHost::create(local, program, error);
        ASSERT_TRUE(shared) << error;
        m_previousHost = WindowHost::install(shared);
        m_previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    }

    void TearDown() override
    {
        RunLoop::runPending();
        WindowHost::install(m_previousHost);
        shared.reset();
        local.reset();
        TextMeasurer::install(m_previousMeasurer);
        Platform::install(m_previousServices);
        program.reset();
        runner.reset();
        server.reset();
        RunLoop::runPending();
    }

    // The program goes away: its connection closes.
    void leave()
    {
        WindowHost::install(m_previousHost);
        Platform::install(m_previousServices);
        shared.reset();
        program.reset();
    }

    bool runUntil(const std::function<bool()>& done) { return RunLoop::runUntil(done, std::chrono::seconds(20)); }

    std::shared_ptr<Panel> showPanel(const Rect& frame, Color colour, std::shared_ptr<View> content = nullptr)
    {
        auto panel = std::make_shared<Panel>(frame, WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        if (content)
            panel->setContentView(content);
        panel->contentView()->setBackgroundColor(colour);
        panel->orderFrontRegardless();
        RunLoop::runPending();
        return panel;
    }

    // A "Play" button on the panel that counts its presses.
    std::shared_ptr<Button> addPlayButton(Panel& panel, int& pressed)
    {
        auto button = std::make_shared<Button>(Rect(20, 20, 80, 32), "Play");
        button->onAction = [&pressed] { ++pressed; };
        panel.contentView()->addSubview(button);
        RunLoop::runPending();
        return button;
    }

    // The program's windows as the runner finds them through accessibility.
    std::vector<AXElement> programWindows()
    {
        return readAttribute<std::vector<AXElement>>(*ports.accessibility, { getpid(), 0 }, "AXWindows")
            .value_or(std::vector<AXElement> {});
    }
    std::optional<AXElement> childWithRole(const AXElement& parent, const std::string& role)
    {
        for (const AXElement& child : readAttribute<std::vector<AXElement>>(*ports.accessibility, parent, "AXChildren")
                                          .value_or(std::vector<AXElement> {}))
            if (readAttribute<std::string>(*ports.accessibility, child, "AXRole") == role)
                return child;
        return std::nullopt;
    }
    bool programRuns()
    {
        for (const auto& application : ports.workspace->runningApplications())
            if (application.pid == getpid() && application.bundleIdentifier == Application::bundleIdentifier
                && application.localizedName == Application::localizedName)
                return true;
        return false;
    }
    Rgb screenColour(Point topLeft)
    {
        auto picture = SimRenderer::renderScreen(*desktop, 0, 1.0);
        EXPECT_TRUE(picture);
        return picture ? rgbOf(picture->image.pixel(static_cast<int>(topLeft.x), static_cast<int>(topLeft.y))) : Rgb {};
    }
    void click(InputEventType type, Point topLeft) { ports.windowServer->post(EventTap::hid, InputEvent::mouse(std::nullopt, type, topLeft)); }

    test::ScratchDirectory scratch;
    std::string socketPath = (scratch / "desktop.sock").string();
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo(); // 1440 × 900
    std::unique_ptr<DesktopServer> server;
    std::shared_ptr<RemoteDesktop> program, runner;
    PlatformServices ports; // the runner's
    std::shared_ptr<SimWindowHost> local;
    std::shared_ptr<SharedWindowHost> shared;

private:
    PlatformServices m_previousServices;
    std::shared_ptr<WindowHost> m_previousHost;
    std::shared_ptr<const TextMeasurer> m_previousMeasurer;
};

TEST_F(SharedWindowsTest, APanelIsAWindowOfTheProgramsApplicationThatAnotherProcessSeesAndPresses)
{
    EXPECT_TRUE(programRuns());
    const Rgb before = screenColour({ 210, 330 });
    auto panel = showPanel(Rect(200, 500, 240, 80), Color::rgb(1, 0, 0));
    int pressed = 0;
    auto button = addPlayButton(*panel, pressed);

    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 1 && childWithRole(programWindows()[0], "AXButton"); }));
    AccessibilityPort& ax = *ports.accessibility;
    const AXElement window = programWindows()[0];
    EXPECT_EQ(readAttribute<Point>(ax, window, "AXPosition"), (Point { 200, 320 }));
    EXPECT_EQ(readAttribute<Size>(ax, window, "AXSize"), (Size { 240, 80 }));
    const AXElement play = *childWithRole(window, "AXButton");
    EXPECT_EQ(readAttribute<std::string>(ax, play, "AXTitle"), "Play");
    EXPECT_EQ(readAttribute<Point>(ax, play, "AXPosition"), (Point { 220, 348 }));
    EXPECT_EQ(readAttribute<Size>(ax, play, "AXSize"), (Size { 80, 32 }));

    bool listed = false;
    for (const WindowInfo& info : ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly).value_or(std::vector<WindowInfo> {}))
        if (info.kCGWindowOwnerPID == getpid()) {
            listed = true;
            EXPECT_EQ(info.kCGWindowLayer, WindowLevel::floating);
            EXPECT_EQ(info.kCGWindowBounds, Rect(200, 320, 240, 80));
            EXPECT_EQ(info.kCGWindowAlpha, 1.0);
        }
    EXPECT_TRUE(listed);

    // The served screen shows the program's drawing, and follows a change of it.
    EXPECT_NE(screenColour({ 210, 330 }), before);
    EXPECT_TRUE(near(screenColour({ 210, 330 }), Rgb { 255, 0, 0 }));
    panel->contentView()->setBackgroundColor(Color::rgb(0, 0, 1));
    RunLoop::runPending();
    EXPECT_TRUE(near(screenColour({ 210, 330 }), Rgb { 0, 0, 255 }));

    EXPECT_EQ(ax.performAction(play, "AXPress"), AXError::success);
    ASSERT_TRUE(runUntil([&] { return pressed == 1; }));

    // A retitled button is the same element with its new title.
    button->setTitle("Pause");
    RunLoop::runPending();
    EXPECT_EQ(readAttribute<std::string>(ax, play, "AXTitle"), "Pause");
}

TEST_F(SharedWindowsTest, AValueSetByAnotherProcessReachesTheViewWhichHasTheLastWord)
{
    auto panel = showPanel(Rect(200, 500, 240, 80), Color::white());
    auto slider = std::make_shared<Slider>(Rect(20, 20, 200, 24), 0.5, 2.0, 1.0);
    int changes = 0;
    slider->onAction = [&] { ++changes; };
    panel->contentView()->addSubview(slider);
    RunLoop::runPending();
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 1 && childWithRole(programWindows()[0], "AXSlider"); }));
    AccessibilityPort& ax = *ports.accessibility;
    const AXElement element = *childWithRole(programWindows()[0], "AXSlider");
    bool settable = false;
    EXPECT_EQ(ax.isAttributeSettable(element, "AXValue", settable), AXError::success);
    EXPECT_TRUE(settable);

    EXPECT_EQ(ax.setAttributeValue(element, "AXValue", 1.5), AXError::success);
    ASSERT_TRUE(runUntil([&] { return slider->doubleValue() == 1.5; }));
    // Beyond its range the slider keeps to its maximum, and the element shows what it kept.
    EXPECT_EQ(ax.setAttributeValue(element, "AXValue", 9.0), AXError::success);
    ASSERT_TRUE(runUntil([&] { return readAttribute<double>(ax, element, "AXValue") == 2.0; }));
    EXPECT_EQ(slider->doubleValue(), 2.0);
    EXPECT_EQ(changes, 2);
    // Also when the view keeps the value it had.
    EXPECT_EQ(ax.setAttributeValue(element, "AXValue", 7.0), AXError::success);
    EXPECT_EQ(readAttribute<double>(ax, element, "AXValue"), 7.0);
    ASSERT_TRUE(runUntil([&] { return readAttribute<double>(ax, element, "AXValue") == 2.0; }));
    EXPECT_EQ(changes, 2);
}

TEST_F(SharedWindowsTest, AFullScreenOverlayShowsWhatItDrawsWhereItDrawsIt)
{
    const Rgb outside = screenColour({ 300, 700 });
    const Rgb underMovedHighlight = screenColour({ 201, 753 });
    auto overlay = std::make_shared<Panel>(Rect(0, 0, 1440, 900), WindowStyle::nonactivatingPanel);
    overlay->setLevel(WindowLevel::floating);
    overlay->setOpaque(false);
    overlay->setBackgroundColor(Color::clear());
    overlay->setIgnoresMouseEvents(true);
    auto highlight = std::make_shared<View>(Rect(200, 400, 600, 48)); // top-left (200, 452)
    highlight->setBackgroundColor(Color::rgb(1, 0, 1));
    overlay->contentView()->addSubview(highlight);
    overlay->orderFrontRegardless();
    RunLoop::runPending();
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 1; }));
    EXPECT_TRUE(near(screenColour({ 201, 453 }), Rgb { 255, 0, 255 }));
    EXPECT_TRUE(near(screenColour({ 799, 499 }), Rgb { 255, 0, 255 }));
    EXPECT_FALSE(near(screenColour({ 199, 453 }), Rgb { 255, 0, 255 }));
    EXPECT_FALSE(near(screenColour({ 201, 501 }), Rgb { 255, 0, 255 }));
    EXPECT_EQ(screenColour({ 300, 700 }), outside);
    // Drawn as finely as the served screen (two pixels a point) shows it: the edge is sharp.
    auto fine = SimRenderer::renderScreen(*desktop, 0, 2.0);
    ASSERT_TRUE(fine);
    EXPECT_EQ(rgbOf(fine->image.pixel(400, 906)), (Rgb { 255, 0, 255 }));
    EXPECT_EQ(rgbOf(fine->image.pixel(1599, 998)), (Rgb { 255, 0, 255 }));

    // The highlight moves and the window fades to half.
    highlight->setFrame(Rect(200, 100, 600, 48)); // top-left (200, 752)
    overlay->setAlphaValue(0.5);
    RunLoop::runPending();
    EXPECT_FALSE(near(screenColour({ 201, 453 }), Rgb { 255, 0, 255 }));
    EXPECT_TRUE(near(screenColour({ 201, 753 }), over(underMovedHighlight, Rgb { 255, 0, 255 }, 0.5), 3))
        << screenColour({ 201, 753 });
}

// A titled window of the program (an alert) lies on the served screen with a window's edge and
// shadow; a panel of its own look (the mini player, the bubble) with neither.
TEST_F(SharedWindowsTest, ATitledWindowHasTheEdgeAndShadowOfAWindowAndAPanelNeither)
{
    const Point belowAlert { 450, 504 }, belowPanel { 950, 504 };
    const Rgb screenBelowAlert = screenColour(belowAlert), screenBelowPanel = screenColour(belowPanel);
    auto alert = std::make_shared<Panel>(Rect(300, 400, 300, 150), WindowStyle::titled | WindowStyle::nonactivatingPanel);
    alert->setLevel(WindowLevel::modalPanel);
    alert->contentView()->setBackgroundColor(Color::white(0.93));
    alert->orderFrontRegardless();
    auto panel = showPanel(Rect(800, 400, 300, 150), Color::white(0.93));
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 2; }));

    // Top-left, both span y 350 to 500; the alert's title bar is its top 28 points.
    const Rgb alertInside = screenColour({ 310, 440 }), alertEdge = screenColour({ 300, 440 });
    EXPECT_LT(alertEdge.r, alertInside.r - 30) << alertEdge << " against " << alertInside;
    EXPECT_LT(screenColour(belowAlert).r, screenBelowAlert.r - 20) << screenColour(belowAlert);
    EXPECT_EQ(screenColour({ 800, 440 }), screenColour({ 810, 440 }));
    EXPECT_EQ(screenColour(belowPanel), screenBelowPanel);
}

TEST_F(SharedWindowsTest, ClicksReachTheWindowUnderThePointerThroughClickThroughOnesAndReleasesFollowThePress)
{
    auto below = std::make_shared<SharedClickView>(Rect(0, 0, 200, 100));
    auto back = showPanel(Rect(100, 600, 200, 100), Color::rgb(0, 1, 0), below);
    auto above = std::make_shared<SharedClickView>(Rect(0, 0, 200, 100));
    auto overlay = showPanel(Rect(100, 600, 200, 100), Color::rgb(0, 0, 1, 0.2), above);
    overlay->setIgnoresMouseEvents(true);
    RunLoop::runPending();
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 2; }));

    // Top-left (150, 250) is 50 points in from the panels' left edge and 50 up from their bottom.
    click(InputEventType::leftMouseDown, { 150, 250 });
    click(InputEventType::leftMouseDragged, { 500, 500 });
    click(InputEventType::leftMouseUp, { 500, 500 });
    ASSERT_TRUE(runUntil([&] { return below->events.size() == 3; }));
    EXPECT_EQ(below->events[0], (std::pair<std::string, Point> { "down", { 50, 50 } }));
    EXPECT_EQ(below->events[1].first, "dragged");
    EXPECT_EQ(below->events[2], (std::pair<std::string, Point> { "up", { 400, -200 } }));
    EXPECT_TRUE(above->events.empty());

    // Once it takes the mouse, the front panel gets the clicks.
    overlay->setIgnoresMouseEvents(false);
    RunLoop::runPending();
    click(InputEventType::leftMouseDown, { 150, 250 });
    click(InputEventType::leftMouseUp, { 150, 250 });
    ASSERT_TRUE(runUntil([&] { return above->events.size() == 2; }));
    EXPECT_EQ(below->events.size(), 3u);
}

TEST_F(SharedWindowsTest, WindowsOrderedOutOrOfAClientThatLeavesAreGoneWithItsApplication)
{
    auto first = showPanel(Rect(200, 500, 240, 80), Color::rgb(1, 0, 0));
    auto second = showPanel(Rect(600, 500, 240, 80), Color::rgb(1, 0, 0));
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 2; }));
    first->orderOut();
    RunLoop::runPending();
    ASSERT_TRUE(runUntil([&] { return programWindows().size() == 1; }));
    EXPECT_FALSE(near(screenColour({ 210, 330 }), Rgb { 255, 0, 0 }));
    EXPECT_TRUE(near(screenColour({ 610, 330 }), Rgb { 255, 0, 0 }));

    leave();
    ASSERT_TRUE(runUntil([&] { return !programRuns(); }));
    EXPECT_TRUE(programWindows().empty());
    for (const WindowInfo& info : ports.windowServer->copyWindowInfo(0).value_or(std::vector<WindowInfo> {}))
        EXPECT_NE(info.kCGWindowOwnerPID, getpid());
    EXPECT_FALSE(near(screenColour({ 610, 330 }), Rgb { 255, 0, 0 }));
}

TEST_F(SharedWindowsTest, AWindowFromAnotherProcessIsCheckedBeforeItIsShown)
{
    std::string error;
    auto client = RemoteDesktop::connect(socketPath, error);
    ASSERT_TRUE(client) << error;
    SharedWindow window;
    window.number = 7;
    window.frame = Rect(100, 100, 50, 20);
    auto show = [&](const SharedWindow& w) { return client->call({ { "op", "tk.show" }, { "window", w.toWire() } }); };
    // Without an application of its own a client shows nothing.
    EXPECT_EQ(show(window), Json(false));
    ASSERT_TRUE(client->registerApplication({ .pid = 4242, .bundleIdentifier = "com.example.Client", .localizedName = "Client" }));

    // A PNG header claiming far more pixels than the window has is refused before decoding.
    auto png = Image::filled(50, 20, 0xFFFF0000).encodePNG();
    ASSERT_TRUE(png);
    window.picture = *png;
    window.pictureArea = Rect(0, 0, 50, 20);
    (*window.picture)[16] = 0x7f;
    EXPECT_EQ(show(window), Json(false));
    window.picture = std::vector<uint8_t> { 'n', 'o', 't', ' ', 'a', ' ', 'P', 'N', 'G' };
    EXPECT_EQ(show(window), Json(false));
    EXPECT_EQ(desktop->windowNumbers(4242).size(), 0u);

    window.picture = *png;
    window.elements = std::vector<SharedWindow::Element> { { .id = 3, .parent = -1, .role = "AXButton" } };
    EXPECT_EQ(show(window), Json(true));
    EXPECT_EQ(desktop->windowNumbers(4242).size(), 1u);

    // An element whose parent comes after it is not a tree: the request is refused.
    window.elements->push_back({ .id = 4, .parent = 1, .role = "AXButton" });
    EXPECT_FALSE(show(window));
}

// The server goes away and comes back on the same desktop (stopped, started again): the program
// says so, connects again by itself, and is whole there again: its application, its window with
// the button a runner presses, and what it listened to (a window's notifications, the clicks of
// other applications, their activations).
TEST_F(SharedWindowsTest, AProgramThatLostItsServerConnectsAgainAndIsWholeThereAgain)
{
    auto clock = std::make_shared<ManualClock>();
    auto previousClock = Clock::install(clock);
    Log::Capture log;
    // Runs the main queue until `done` (at most five seconds of real time).
    auto settle = [](const std::function<bool()>& done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < limit) {
            RunLoop::runPending();
            std::this_thread::yield();
        }
        return done();
    };

    auto panel = showPanel(Rect(200, 500, 240, 80), Color::rgb(1, 0, 0));
    int pressed = 0;
    auto button = addPlayButton(*panel, pressed);
    const PlatformServices own = program->services();
    std::vector<std::string> heard;
    AXObserverID observer = 0;
    ASSERT_EQ(own.accessibility->createObserver(501, [&](const AXElement&, const std::string& name) { heard.push_back(name); }, observer),
              AXError::success);
    ASSERT_EQ(own.accessibility->addNotification(observer, desktop->windowElement(8101), "AXWindowMoved"), AXError::success);
    std::vector<Point> clicks;
    ASSERT_TRUE(own.eventMonitor->addGlobalMonitor(eventTypeMask(InputEventType::leftMouseDown),
                                                   [&](const MonitoredEvent& event) { clicks.push_back(event.location); }));
    std::vector<ProcessID> activations;
    auto watch = own.workspace->observeActivation([&](const RunningApplication& app) { activations.push_back(app.pid); });
    ASSERT_TRUE(programRuns());

    server.reset();
    ASSERT_TRUE(settle([&] { return !program->isConnected() && !runner->isConnected(); }));
    EXPECT_FALSE(own.workspace->frontmostApplication()) << "calls answer none while it is away";
    std::string error;
    server = DesktopServer::start(desktop, socketPath, error);
    ASSERT_TRUE(server) << error;
    Dispatch::advance(*clock, std::chrono::seconds(5));
    ASSERT_TRUE(settle([&] { return program->isConnected() && runner->isConnected() && programWindows().size() == 1; }));
    EXPECT_EQ(log.linesContaining("[Desktop] lost the desktop server at " + socketPath).size(), 2u) << "each client says so";
    EXPECT_EQ(log.linesContaining("[Desktop] connected again to the desktop server at " + socketPath).size(), 2u);

    EXPECT_TRUE(programRuns());
    const auto play = childWithRole(programWindows()[0], "AXButton");
    ASSERT_TRUE(play);
    EXPECT_EQ(readAttribute<Point>(*ports.accessibility, *play, "AXPosition"), (Point { 220, 348 }));
    EXPECT_EQ(ports.accessibility->performAction(*play, "AXPress"), AXError::success);
    EXPECT_TRUE(settle([&] { return pressed == 1; }));

    ASSERT_TRUE(desktop->moveWindow(8101, { 30, 60 }));
    EXPECT_TRUE(settle([&] { return heard == std::vector<std::string> { "AXWindowMoved" }; }));
    click(InputEventType::leftMouseDown, { 700, 700 });
    EXPECT_TRUE(settle([&] { return clicks == std::vector<Point> { { 700, 700 } }; }));
    ASSERT_TRUE(desktop->setFrontmost(502));
    EXPECT_TRUE(settle([&] { return !activations.empty() && activations.back() == 502; }));
    Clock::install(previousClock);
}

} // namespace
} // namespace lorvantine
