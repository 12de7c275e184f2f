#include "Platform/EventMonitorPort.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

constexpr EventTypeMask everyEvent = ~EventTypeMask(0);

// The reader application (pid 700, frontmost) with its window at top-left (100, 50, 600, 400),
// and the program showing a 40 × 40 bubble at top-left (800, 100): what each monitor hears.
class SimEventMonitorTest : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = oneWindowFixture();
        fixture.screens = screens();
        return SimDesktop::create(fixture);
    }

    void SetUp() override
    {
        DesktopTest::SetUp();
        bubble = std::make_shared<Panel>(Rect(800, 900 - 100 - 40, 40, 40), WindowStyle::nonactivatingPanel);
        bubble->setLevel(WindowLevel::floating);
        bubble->orderFrontRegardless();
        RunLoop::runPending();
        EventMonitorPort& monitors = Platform::eventMonitor();
        global = monitors.addGlobalMonitor(everyEvent, [this](const MonitoredEvent& e) {
            EXPECT_TRUE(RunLoop::isMainThread());
            heard.push_back({ "global", e });
        });
        local = monitors.addLocalMonitor(everyEvent, [this](const MonitoredEvent& e) -> std::optional<MonitoredEvent> {
            EXPECT_TRUE(RunLoop::isMainThread());
            heard.push_back({ "local", e });
            return e;
        });
        ASSERT_TRUE(global && local);
    }

    void TearDown() override
    {
        Platform::eventMonitor().removeMonitor(*global);
        Platform::eventMonitor().removeMonitor(*local);
        bubble->orderOut();
        DesktopTest::TearDown();
    }

    void postAt(InputEventType type, Point at, std::optional<EventSourceState> source = std::nullopt)
    {
        Platform::windowServer().post(EventTap::hid, InputEvent::mouse(source, type, at));
    }
    void key(uint16_t code, uint64_t flags = 0)
    {
        InputEvent down = InputEvent::keyboard(EventSourceState::combinedSession, code, true);
        down.flags = flags;
        Platform::windowServer().post(EventTap::session, down);
    }
    // "global:leftMouseDown local:keyDown ..." for what arrived since the last call.
    std::string drain()
    {
        RunLoop::runPending();
        std::string out;
        for (const auto& [who, e] : heard) {
            static const char* names[] = { "keyDown", "keyUp", "mouseMoved", "leftMouseDown", "leftMouseDragged",
                                           "leftMouseUp", "rightMouseDown", "rightMouseDragged", "rightMouseUp",
                                           "scrollWheel" };
            out += (out.empty() ? "" : " ") + who + ":" + names[static_cast<int>(e.type)];
        }
        last = heard;
        heard.clear();
        return out;
    }

    struct Heard {
        std::string who;
        MonitoredEvent event;
    };
    std::shared_ptr<Panel> bubble;
    std::optional<EventMonitorID> global, local;
    std::vector<Heard> heard, last;
    const Point inReader { 300, 200 };
    const Point onBubble { 820, 120 };
    const Point onDesktop { 1300, 800 };
};

TEST_F(SimEventMonitorTest, EventsReachTheMonitorsOfTheApplicationTheyAreFor)
{
    struct Case {
        const char* what;
        std::function<void()> post;
        const char* heard;
    };
    const Case cases[] = {
        { "a drag in another application",
          [&] {
              postAt(InputEventType::leftMouseDown, inReader);
              postAt(InputEventType::leftMouseDragged, { 350, 200 });
              postAt(InputEventType::leftMouseUp, { 400, 220 });
          },
          "global:leftMouseDown global:leftMouseDragged global:leftMouseUp" },
        { "a click on the program's bubble",
          [&] {
              postAt(InputEventType::leftMouseDown, onBubble);
              postAt(InputEventType::leftMouseUp, onBubble);
          },
          "local:leftMouseDown local:leftMouseUp" },
        { "a press in the application released over the bubble stays the application's",
          [&] {
              postAt(InputEventType::leftMouseDown, inReader);
              postAt(InputEventType::leftMouseUp, onBubble);
          },
          "global:leftMouseDown global:leftMouseUp" },
        { "a press on the bubble released over the application stays the program's",
          [&] {
              postAt(InputEventType::leftMouseDown, onBubble);
              postAt(InputEventType::leftMouseUp, inReader);
          },
          "local:leftMouseDown local:leftMouseUp" },
        { "a click on the desktop", [&] { postAt(InputEventType::leftMouseDown, onDesktop); }, "global:leftMouseDown" },
        { "a wheel over the application",
          [&] {
              postAt(InputEventType::mouseMoved, inReader);
              Platform::windowServer().post(EventTap::hid, InputEvent::scrollWheel(std::nullopt, ScrollUnit::line, -3));
          },
          "global:mouseMoved global:scrollWheel" },
        { "a key while another application is in front", [&] { key(8); }, "global:keyDown" },
        { "a key while the program is in front",
          [&] {
              desktop->setFrontmost(pid());
              key(53);
              desktop->setFrontmost(700);
          },
          "local:keyDown" },
        { "a key posted to a process", [&] { Platform::windowServer().postToPid(700, InputEvent::keyboard(std::nullopt, 121, true)); }, "" },
        { "without Input Monitoring the program hears only its own events",
          [&] {
              desktop->setInputMonitoring(InputMonitoringAccess::denied);
              postAt(InputEventType::leftMouseDown, inReader);
              postAt(InputEventType::leftMouseUp, inReader);
              postAt(InputEventType::leftMouseDown, onBubble);
              postAt(InputEventType::leftMouseUp, onBubble);
              key(8);
              desktop->setInputMonitoring(InputMonitoringAccess::granted);
          },
          "local:leftMouseDown local:leftMouseUp" },
    };
    for (const Case& c : cases) {
        drain();
        c.post();
        EXPECT_EQ(drain(), c.heard) << c.what;
    }
}

TEST_F(SimEventMonitorTest, EventsArriveOnTheMainQueueInPostingOrderWithTheirDetails)
{
    InputEvent up = InputEvent::mouse(EventSourceState::combinedSession, InputEventType::leftMouseUp, { 250, 100 });
    up.clickCount = 3;
    up.flags = EventFlags::maskShift;
    Platform::windowServer().post(EventTap::session, up);
    key(8, EventFlags::maskCommand);
    EXPECT_TRUE(heard.empty()) << "nothing arrives before the main queue runs";

    EXPECT_EQ(drain(), "global:leftMouseUp global:keyDown");
    const MonitoredEvent& mouse = last[0].event;
    EXPECT_EQ(mouse.location, (Point { 250, 100 }));
    EXPECT_EQ(mouse.screenLocation, (Point { 250, 800 })) << "flipped with the primary screen's height";
    EXPECT_EQ(mouse.clickCount, 3);
    EXPECT_EQ(mouse.modifierFlags, EventFlags::maskShift);
    EXPECT_EQ(mouse.source, EventSourceState::combinedSession);
    EXPECT_EQ(mouse.windowNumber, 0u) << "a global event names no window of the program";
    const MonitoredEvent& keyDown = last[1].event;
    EXPECT_EQ(keyDown.keyCode, 8);
    EXPECT_EQ(keyDown.modifierFlags, EventFlags::maskCommand);
    EXPECT_EQ(keyDown.location, (Point { 250, 100 })) << "a key happens where the pointer is";

    postAt(InputEventType::leftMouseDown, onBubble);
    EXPECT_EQ(drain(), "local:leftMouseDown");
    EXPECT_NE(bubble->windowNumber(), 0u);
    EXPECT_EQ(last[0].event.windowNumber, bubble->windowNumber()) << "a local event names the program's window";
    EXPECT_EQ(last[0].event.source, std::nullopt) << "the user's hand has no event source";
}

// A button that takes the first click on a non-activating panel, as the bubble's does.
class FirstClickButton final : public Button {
public:
    using Button::Button;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

TEST_F(SimEventMonitorTest, LocalMonitorsHearAClickBeforeThePanelActsOnIt)
{
    auto button = std::make_shared<FirstClickButton>(Rect(0, 0, 40, 40), "Read");
    std::vector<std::string> order;
    button->onAction = [&] { order.push_back("button"); };
    bubble->contentView()->addSubview(button);
    auto watcher = Platform::eventMonitor().addLocalMonitor(
        eventTypeMask(InputEventType::leftMouseUp), [&](const MonitoredEvent& e) -> std::optional<MonitoredEvent> {
            order.push_back("monitor");
            return e;
        });
    postAt(InputEventType::leftMouseDown, onBubble);
    postAt(InputEventType::leftMouseUp, onBubble);
    drain();
    EXPECT_EQ(order, (std::vector<std::string> { "monitor", "button" }));
    Platform::eventMonitor().removeMonitor(*watcher);
}

TEST_F(SimEventMonitorTest, ARemovedMonitorHearsNothingMoreNotEvenWhatWasAlreadyPosted)
{
    key(8);
    Platform::eventMonitor().removeMonitor(*global);
    key(9);
    EXPECT_EQ(drain(), "");
    Platform::eventMonitor().removeMonitor(12345); // unknown: ignored
    postAt(InputEventType::leftMouseDown, onBubble);
    EXPECT_EQ(drain(), "local:leftMouseDown");
}

TEST_F(SimEventMonitorTest, TheListenOnlyTapNeedsInputMonitoringAndTellsItsOwnerWhenTheSystemSwitchesItOff)
{
    EventMonitorPort& port = Platform::eventMonitor();
    std::vector<uint16_t> keys;
    std::vector<EventTapDisabledReason> disabled;
    auto makeTap = [&] {
        return port.createListenOnlyTap(
            eventTypeMask(InputEventType::keyDown), [&](const MonitoredEvent& e) { keys.push_back(e.keyCode); },
            [&](EventTapDisabledReason reason) { disabled.push_back(reason); });
    };

    desktop->setInputMonitoring(InputMonitoringAccess::denied);
    EXPECT_FALSE(makeTap());
    desktop->setInputMonitoring(InputMonitoringAccess::granted);
    desktop->setEventTapsAvailable(false);
    EXPECT_FALSE(makeTap());
    desktop->setEventTapsAvailable(true);
    auto tap = makeTap();
    ASSERT_TRUE(tap);
    EXPECT_TRUE(port.isTapEnabled(*tap));

    key(15); // to the reader
    desktop->setFrontmost(pid());
    key(16); // to the program: a session tap sees it too
    Platform::windowServer().postToPid(700, InputEvent::keyboard(std::nullopt, 17, true));
    postAt(InputEventType::leftMouseDown, inReader); // not in the tap's mask
    drain();
    EXPECT_EQ(keys, (std::vector<uint16_t> { 15, 16 }));

    key(18);
    desktop->disableEventTaps(EventTapDisabledReason::timeout);
    EXPECT_FALSE(port.isTapEnabled(*tap));
    key(19);
    drain();
    EXPECT_EQ(keys, (std::vector<uint16_t> { 15, 16 })) << "a disabled tap hears nothing, queued events included";
    EXPECT_EQ(disabled, (std::vector<EventTapDisabledReason> { EventTapDisabledReason::timeout }));

    port.setTapEnabled(*tap, true);
    key(20);
    drain();
    EXPECT_EQ(keys, (std::vector<uint16_t> { 15, 16, 20 }));

    port.removeTap(*tap);
    EXPECT_FALSE(port.isTapEnabled(*tap));
    key(21);
    desktop->disableEventTaps(EventTapDisabledReason::userInput);
    drain();
    EXPECT_EQ(keys.size(), 3u);
    EXPECT_EQ(disabled.size(), 1u);
}

} // namespace
} // namespace lorvantine
