#include "ToolkitTest.h"

#include "Platform/Toolkit/Alert.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Popover.h"
#include "Platform/Toolkit/StatusBarButton.h"
#include "Platform/Toolkit/StatusItem.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"

namespace lorvantine {
namespace {

// Alerts on the desktop, answered by a person's clicks.
class Alerts : public ToolkitTest {
protected:
    static constexpr double screenHeight = 900;

    static Button* buttonTitled(const Alert& alert, const std::string& title)
    {
        for (const auto& view : alert.panel()->contentView()->subviews())
            if (auto* button = dynamic_cast<Button*>(view.get()); button && button->title() == title)
                return button;
        return nullptr;
    }
    // The middle of a view of a window on screen, in top-left screen points.
    static Point middleOf(const View& view)
    {
        const Rect r = view.window()->convertRectToScreen(view.convertToView(view.bounds(), nullptr));
        return { r.midX(), screenHeight - r.midY() };
    }
};

// One click answers, even when another window has become key meanwhile (a popover opened from
// the menu bar).
TEST_F(Alerts, OneClickOnAButtonPressesIt)
{
    auto other = std::make_shared<Window>(Rect(100, 300, 300, 200), WindowStyle::titled);
    other->orderFront();
    Alert alert;
    alert.messageText = "Input Monitoring is off";
    alert.addButton("Open System Settings");
    alert.addButton("Later");
    Alert::ScopedResponder responder([&](Alert& shown) {
        EXPECT_TRUE(shown.panel()->isKeyWindow());
        other->makeKeyWindow();
        Button* later = buttonTitled(shown, "Later");
        ASSERT_NE(later, nullptr);
        click(middleOf(*later));
        // Were the click swallowed, this would end the alert instead.
        DispatchQueue::main().async([] { Alert::abortModal(); });
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn + 1);
}

// The person cannot ask for a second alert behind the first: the program's other windows take no
// click while it waits, but the menu bar's item does, and the window that was key is key again
// after the answer.
TEST_F(Alerts, WhileAnAlertWaitsOnlyItAndTheMenuBarTakeClicks)
{
    auto window = std::make_shared<Window>(Rect(100, 300, 300, 200), WindowStyle::titled | WindowStyle::closable);
    auto behind = std::make_shared<Button>(Rect(50, 50, 200, 40), "Reset");
    int behindPresses = 0;
    behind->onAction = [&] { ++behindPresses; };
    window->contentView()->addSubview(behind);
    window->makeKeyAndOrderFront();
    auto item = StatusItem::make(StatusItem::squareLength);
    int itemPresses = 0;
    item->button().onAction = [&] { ++itemPresses; };
    RunLoop::runPending();

    Alert alert;
    alert.messageText = "Onboarding reset";
    Alert::ScopedResponder responder([&](Alert& shown) {
        click(middleOf(*behind));
        click(middleOf(*behind));
        EXPECT_EQ(ax().performAction(*find(programElement(), "AXButton", "Reset"), "AXPress"), AXError::success);
        RunLoop::runPending();
        click(middleOf(item->button()));
        click(middleOf(*buttonTitled(shown, "OK")));
        DispatchQueue::main().async([] { Alert::abortModal(); });
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
    EXPECT_EQ(behindPresses, 1) << "only the press through accessibility, not the person's clicks";
    EXPECT_EQ(itemPresses, 1);
    EXPECT_FALSE(Window::modalWindow());
    EXPECT_TRUE(window->isKeyWindow());
    click(middleOf(*behind));
    EXPECT_EQ(behindPresses, 2) << "one click acts again once the alert is answered";
}

// With the program in front, Return presses the default button and Escape the cancel button,
// where there is one: a button that acts is never pressed by Escape.
TEST_F(Alerts, ReturnPressesTheDefaultButtonAndEscapeTheCancelButton)
{
    using Role = Alert::ButtonRole;
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, Role>> buttons;
        std::vector<std::pair<uint16_t, uint64_t>> keys;
        int answer;
    };
    const std::vector<std::pair<std::string, Role>> settingsOrLater { { "Open System Settings", Role::normal },
                                                                      { "Later", Role::cancel } };
    const std::vector<std::pair<std::string, Role>> okOnly { { "OK", Role::normal } };
    const std::vector<std::pair<std::string, Role>> twoActions { { "Open System Settings", Role::normal },
                                                                 { "Remove the Reading List", Role::normal } };
    const Case cases[] = {
        { "Return", settingsOrLater, { { KeyEvent::keyReturn, 0 } }, Alert::firstButtonReturn },
        { "Enter", settingsOrLater, { { KeyEvent::keyEnter, 0 } }, Alert::firstButtonReturn },
        { "Escape", settingsOrLater, { { KeyEvent::keyEscape, 0 } }, Alert::firstButtonReturn + 1 },
        { "Return with Shift", settingsOrLater, { { KeyEvent::keyReturn, EventFlags::maskShift } }, Alert::firstButtonReturn },
        { "Command-Return, then Escape", settingsOrLater,
          { { KeyEvent::keyReturn, EventFlags::maskCommand }, { KeyEvent::keyEscape, 0 } }, Alert::firstButtonReturn + 1 },
        { "Escape without a cancel button, then Return", okOnly, { { KeyEvent::keyEscape, 0 }, { KeyEvent::keyReturn, 0 } },
          Alert::firstButtonReturn },
        { "Escape with a second button that acts, then Return", twoActions,
          { { KeyEvent::keyEscape, 0 }, { KeyEvent::keyReturn, 0 } }, Alert::firstButtonReturn },
        { "a letter, then Return", okOnly, { { KeyEvent::keyA, 0 }, { KeyEvent::keyReturn, 0 } }, Alert::firstButtonReturn },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Alert alert;
        alert.messageText = "Input Monitoring is off";
        for (const auto& [title, role] : c.buttons)
            alert.addButton(title, role);
        int keysLeft = static_cast<int>(c.keys.size());
        Alert::ScopedResponder responder([&](Alert&) {
            Application::shared().activate();
            for (const auto& [code, flags] : c.keys) {
                // Every key before the last leaves the alert waiting.
                EXPECT_EQ(Alert::current(), &alert) << keysLeft << " keys left";
                key(code, flags);
                --keysLeft;
            }
            // Were the keys lost, this would end the alert instead.
            DispatchQueue::main().async([] { Alert::abortModal(); });
        });
        EXPECT_EQ(alert.runModal(), c.answer);
    }
}

// Shown while the person types in the reader, the alert leaves the keys there: Return, Escape and
// letters answer nothing. A click on the alert, on its text or (after a click on the reader took
// the front back, and another window of the program the keys) on its title bar, brings the
// program forward with the keys; once the alert is answered, the reader is in front again.
TEST_F(Alerts, KeysStayWithTheApplicationInFrontUntilAClickOnTheAlert)
{
    const auto front = [] { return Platform::workspace().frontmostApplication().value_or(RunningApplication {}).pid; };
    // A panel that takes the keys, as the mini player's does.
    class KeyPanel final : public Panel {
    public:
        using Panel::Panel;
        bool canBecomeKey() const override { return true; }
    };
    auto other = std::make_shared<KeyPanel>(Rect(100, 100, 200, 100), WindowStyle::nonactivatingPanel);
    other->orderFront();
    Alert alert;
    alert.messageText = "Lorvantine 1.3 可用";
    alert.addButton("立即下载");
    alert.addButton("稍后", Alert::ButtonRole::cancel);
    Alert::ScopedResponder responder([&](Alert& shown) {
        key(KeyEvent::keyReturn);
        key(KeyEvent::keyEscape);
        key(KeyEvent::keyA, 0, "a");
        EXPECT_EQ(Alert::current(), &alert) << "the keys went to the reader";
        EXPECT_EQ(front(), 700);

        const View& message = *shown.panel()->contentView()->subviews().front();
        click(middleOf(message));
        EXPECT_EQ(front(), pid()) << "a click on the alert brings the program forward";
        click({ 150, 100 });
        EXPECT_EQ(front(), 700) << "a click on the reader's window brings it forward";
        key(KeyEvent::keyReturn);
        EXPECT_EQ(Alert::current(), &alert);

        other->makeKeyWindow();
        const Rect panel = shown.panel()->frame();
        click({ panel.midX(), screenHeight - panel.maxY() + Window::titleBarHeight / 2 });
        EXPECT_EQ(front(), pid());
        key(KeyEvent::keyReturn);
        // Were the key lost, this would end the alert instead.
        DispatchQueue::main().async([] { Alert::abortModal(); });
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
    EXPECT_EQ(front(), 700) << "the reader the person was in comes back to the front";
}

// The menu bar's popover, opened while an alert waits with the program in front, takes the keys:
// Escape closes it and leaves the alert waiting, which has the keys again for Return.
TEST_F(Alerts, APopoverClosedWithEscapeGivesTheKeysBackToTheAlert)
{
    auto item = StatusItem::make(StatusItem::squareLength);
    Popover popover;
    popover.setBehavior(Popover::Behavior::transient);
    item->button().onAction = [&] { popover.show(item->button().bounds(), item->button(), Popover::Edge::minY); };
    RunLoop::runPending();
    Alert alert;
    alert.messageText = "Input Monitoring is off";
    alert.addButton("Open System Settings");
    alert.addButton("Later", Alert::ButtonRole::cancel);
    Alert::ScopedResponder responder([&](Alert&) {
        Application::shared().activate();
        click(middleOf(item->button()));
        ASSERT_TRUE(popover.isShown());
        key(KeyEvent::keyEscape);
        EXPECT_FALSE(popover.isShown());
        EXPECT_EQ(Alert::current(), &alert) << "Escape was the popover's";
        key(KeyEvent::keyReturn);
        DispatchQueue::main().async([] { Alert::abortModal(); });
    });
    EXPECT_EQ(alert.runModal(), Alert::firstButtonReturn);
}

// The default button is filled with the accent colour while the alert waits, the others are not.
TEST_F(Alerts, TheDefaultButtonIsDrawnFilledWithTheAccentColour)
{
    Alert alert;
    alert.messageText = "Lorvantine 1.2 可用";
    alert.addButton("立即下载");
    alert.addButton("稍后", Alert::ButtonRole::cancel);
    Alert::ScopedResponder responder([&](Alert& shown) {
        RunLoop::runPending();
        // Beside the title, inside the bezel.
        const auto fill = [&](const std::string& title) {
            const Button* button = buttonTitled(shown, title);
            const Rect r = button->window()->convertRectToScreen(button->convertToView(button->bounds(), nullptr));
            return screenColour({ r.minX() + 6, screenHeight - r.midY() });
        };
        EXPECT_TRUE(near(fill("立即下载"), Rgb { 0, 122, 255 }, 3)) << fill("立即下载");
        EXPECT_TRUE(near(fill("稍后"), white, 3)) << fill("稍后");
        Alert::abortModal();
    });
    alert.runModal();
}

// A second alert over the first: once it is answered, the first one still waits, the window
// behind still takes no click, and the keys go to the first one again.
TEST_F(Alerts, AnAlertOverAnotherLeavesTheOuterOneWaitingWhenItEnds)
{
    auto window = std::make_shared<Window>(Rect(100, 300, 300, 200), WindowStyle::titled);
    auto behind = std::make_shared<Button>(Rect(50, 50, 200, 40), "Reset");
    int behindPresses = 0;
    behind->onAction = [&] { ++behindPresses; };
    window->contentView()->addSubview(behind);
    window->makeKeyAndOrderFront();
    RunLoop::runPending();

    Alert outer;
    outer.messageText = "Onboarding reset";
    Alert inner;
    inner.messageText = "Lorvantine 1.2 可用";
    inner.addButton("立即下载");
    inner.addButton("稍后", Alert::ButtonRole::cancel);
    int innerAnswer = 0;
    Alert::ScopedResponder responder([&](Alert& shown) {
        if (&shown == &inner) {
            click(middleOf(*buttonTitled(shown, "稍后")));
            return;
        }
        innerAnswer = inner.runModal();
        EXPECT_EQ(Alert::current(), &outer);
        EXPECT_EQ(Window::modalWindow(), outer.panel());
        // Twice: were the window free, the first click would make it key and the second press.
        click(middleOf(*behind));
        click(middleOf(*behind));
        EXPECT_EQ(behindPresses, 0) << "the window behind the outer alert still waits";
        key(KeyEvent::keyReturn);
        DispatchQueue::main().async([] { Alert::abortModal(); });
    });
    EXPECT_EQ(outer.runModal(), Alert::firstButtonReturn);
    EXPECT_EQ(innerAnswer, Alert::firstButtonReturn + 1);
    EXPECT_EQ(behindPresses, 0);
    EXPECT_FALSE(Window::modalWindow());
}

// An alert over a window of the same grey is set apart by its edge and the shadow it casts.
TEST_F(Alerts, AnAlertHasTheEdgeAndShadowOfAWindow)
{
    auto window = std::make_shared<Window>(Rect(420, 200, 600, 500), WindowStyle::titled);
    window->orderFront();
    RunLoop::runPending();
    const Rgb grey = screenColour({ 720, 450 });
    Alert alert;
    alert.messageText = "Onboarding reset";
    Alert::ScopedResponder responder([&](Alert& shown) {
        RunLoop::runPending();
        const Rect panel = shown.panel()->frame();
        ASSERT_EQ(window->frame().intersection(panel.insetBy(-20, -20)), panel.insetBy(-20, -20)) << "the window lies behind the whole alert";
        const double top = screenHeight - panel.maxY(), bottom = screenHeight - panel.minY();
        const Rgb edge = screenColour({ panel.minX() + 0.5, (top + bottom) / 2 });
        const Rgb inside = screenColour({ panel.minX() + 4, bottom - 4 });
        const Rgb shadow = screenColour({ panel.midX(), bottom + 4 });
        const Rgb beside = screenColour({ panel.maxX() + 30, (top + bottom) / 2 });
        EXPECT_TRUE(near(inside, grey)) << inside << " the alert is of the window's grey";
        EXPECT_TRUE(near(beside, grey)) << beside;
        EXPECT_LT(edge.r, grey.r - 30) << edge;
        EXPECT_LT(shadow.r, grey.r - 20) << shadow;
        Alert::abortModal();
    });
    alert.runModal();
}

TEST_F(Alerts, EachButtonIsWideEnoughForItsTitleAndTheRowFitsThePanel)
{
    const std::vector<std::string> titles { "Open System Settings", "Later", "Remind me when the next version is out",
                                            "打开系统设置以允许输入监控" };
    Alert alert;
    alert.messageText = "Input Monitoring is off";
    for (const auto& title : titles)
        alert.addButton(title);
    Alert::ScopedResponder responder([&](Alert& shown) {
        const Rect panel = shown.panel()->contentView()->bounds();
        std::vector<Rect> frames;
        for (const auto& title : titles) {
            Button* button = buttonTitled(shown, title);
            ASSERT_NE(button, nullptr) << title;
            const double text = TextMeasurer::current().size(title, button->font()).width;
            // The title is drawn whole with a margin at both ends of the bezel.
            EXPECT_GE(button->frame().width(), text + 16) << title;
            frames.push_back(button->frame());
        }
        for (size_t i = 0; i < frames.size(); ++i) {
            EXPECT_GE(frames[i].minX(), panel.minX()) << titles[i];
            EXPECT_LE(frames[i].maxX(), panel.maxX()) << titles[i];
            if (i > 0) {
                EXPECT_LE(frames[i].maxX(), frames[i - 1].minX()) << titles[i] << " beside " << titles[i - 1];
            }
        }
        Alert::abortModal();
    });
    EXPECT_EQ(alert.runModal(), Alert::abortResponse);
}

} // namespace
} // namespace lorvantine
