#include "ToolkitTest.h"

#include "Platform/EventMonitorPort.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/PopUpButton.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WorkspacePort.h"

namespace lorvantine {
namespace {

class FirstMouseButton final : public Button {
public:
    using Button::Button;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

class FirstMousePopUp final : public PopUpButton {
public:
    using PopUpButton::PopUpButton;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
};

// Counts what its tracking area reports.
class HoverView final : public View {
public:
    using View::View;
    void updateTrackingAreas() override
    {
        for (auto area : trackingAreas())
            removeTrackingArea(area);
        addTrackingArea(std::make_shared<TrackingArea>(
            bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways | TrackingArea::inVisibleRect));
        ++updates;
    }
    void mouseEntered(const MouseEvent&) override { events.push_back("entered"); }
    void mouseExited(const MouseEvent&) override { events.push_back("exited"); }
    std::vector<std::string> events;
    int updates = 0;
};

// A 200 × 100 non-activating floating panel at top-left (200, 100) with a first-mouse button at
// (50, 30, 100, 40): its middle is at top-left (300, 150).
struct ButtonPanel {
    std::shared_ptr<Panel> panel;
    std::shared_ptr<FirstMouseButton> button;
    int actions = 0;

    ButtonPanel()
    {
        panel = std::make_shared<Panel>(Rect(200, 900 - 100 - 100, 200, 100), WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        button = std::make_shared<FirstMouseButton>(Rect(50, 30, 100, 40), "Read");
        button->onAction = [this] { ++actions; };
        panel->contentView()->addSubview(button);
        panel->orderFrontRegardless();
    }
};

// A 200 × 100 non-activating floating panel at top-left (200, 100) with a first-mouse pop-up of
// three speeds, 1.0x chosen, at (20, 60, 80, 26): it spans top-left (220...300, 114...140).
struct SpeedPanel {
    std::shared_ptr<Panel> panel;
    std::shared_ptr<FirstMousePopUp> popup;
    std::vector<std::string> chosen;

    SpeedPanel()
    {
        panel = std::make_shared<Panel>(Rect(200, 700, 200, 100), WindowStyle::nonactivatingPanel);
        panel->setLevel(WindowLevel::floating);
        popup = std::make_shared<FirstMousePopUp>(Rect(20, 60, 80, 26));
        popup->addItems({ "0.8x", "1.0x", "1.5x" });
        popup->selectItem(std::string("1.0x"));
        popup->onAction = [this] { chosen.push_back(popup->titleOfSelectedItem()); };
        panel->contentView()->addSubview(popup);
        panel->orderFront();
    }
};

using Input = ToolkitTest;

TEST_F(Input, AClickInsideAButtonActsOnceAndAReleaseOutsideItDoesNot)
{
    ButtonPanel p;
    click({ 300, 150 });
    EXPECT_EQ(p.actions, 1);
    // A non-activating panel leaves the other application in front.
    EXPECT_EQ(Platform::workspace().frontmostApplication()->pid, 700);
    EXPECT_FALSE(Application::shared().isActive());

    post(InputEventType::leftMouseDown, { 300, 150 });
    EXPECT_TRUE(p.button->isHighlighted());
    post(InputEventType::leftMouseDragged, { 380, 150 });
    EXPECT_FALSE(p.button->isHighlighted());
    post(InputEventType::leftMouseUp, { 380, 150 });
    EXPECT_EQ(p.actions, 1);

    click({ 220, 110 }); // the panel, beside the button
    click({ 600, 300 }); // the reader's window
    EXPECT_EQ(p.actions, 1);

    p.button->setEnabled(false);
    click({ 300, 150 });
    EXPECT_EQ(p.actions, 1);
}

TEST_F(Input, DragsAndTheReleaseGoToTheViewThatTookThePressWhereverThePointerIs)
{
    ButtonPanel p;
    // Another panel of the program, at top-left (800, 100), with a button in the same place.
    ButtonPanel other;
    other.panel->setFrameOrigin({ 800, 700 });

    post(InputEventType::leftMouseDown, { 300, 150 });
    post(InputEventType::leftMouseDragged, { 600, 300 }); // the reader's window
    EXPECT_FALSE(p.button->isHighlighted());
    post(InputEventType::leftMouseDragged, { 310, 150 });
    EXPECT_TRUE(p.button->isHighlighted());
    post(InputEventType::leftMouseDragged, { 1000, 700 }); // no window at all
    post(InputEventType::leftMouseUp, { 1000, 700 });
    EXPECT_FALSE(p.button->isHighlighted());
    EXPECT_EQ(p.actions, 0);

    // Back inside before the release: a click.
    post(InputEventType::leftMouseDown, { 300, 150 });
    post(InputEventType::leftMouseDragged, { 600, 300 });
    post(InputEventType::leftMouseDragged, { 300, 150 });
    post(InputEventType::leftMouseUp, { 300, 150 });
    EXPECT_EQ(p.actions, 1);

    // Released over the other panel's button: neither acts, neither stays pressed.
    post(InputEventType::leftMouseDown, { 300, 150 });
    post(InputEventType::leftMouseDragged, { 900, 150 });
    EXPECT_FALSE(other.button->isHighlighted());
    post(InputEventType::leftMouseUp, { 900, 150 });
    EXPECT_FALSE(p.button->isHighlighted());
    EXPECT_FALSE(other.button->isHighlighted());
    EXPECT_EQ(p.actions, 1);
    EXPECT_EQ(other.actions, 0);

    // A press elsewhere owns its release, even one over the button.
    post(InputEventType::leftMouseDown, { 600, 300 });
    post(InputEventType::leftMouseDragged, { 300, 150 });
    EXPECT_FALSE(p.button->isHighlighted());
    post(InputEventType::leftMouseUp, { 300, 150 });
    EXPECT_EQ(p.actions, 1);

    click({ 300, 150 });
    click({ 900, 150 });
    EXPECT_EQ(p.actions, 2);
    EXPECT_EQ(other.actions, 1);
}

TEST_F(Input, AClickThroughOverlayPassesClicksToWhatLiesBelow)
{
    ButtonPanel p;
    auto overlay = std::make_shared<Window>(Rect(0, 0, 1440, 900), WindowStyle::borderless);
    overlay->setOpaque(false);
    overlay->setBackgroundColor(Color::clear());
    overlay->setLevel(WindowLevel::floating);
    overlay->setIgnoresMouseEvents(true);
    overlay->orderFrontRegardless();

    click({ 300, 150 });
    EXPECT_EQ(p.actions, 1);
    // A press through it keeps its release on the window below.
    post(InputEventType::leftMouseDown, { 300, 150 });
    EXPECT_TRUE(p.button->isHighlighted());
    post(InputEventType::leftMouseDragged, { 600, 300 });
    EXPECT_FALSE(p.button->isHighlighted());
    post(InputEventType::leftMouseUp, { 600, 300 });
    EXPECT_FALSE(p.button->isHighlighted());
    EXPECT_EQ(p.actions, 1);

    // Accessibility hit testing sees through it as well: the button, then the reader's window.
    AXElement hit;
    ASSERT_EQ(ax().elementAtPosition(ax().systemWideElement(), 300, 150, hit), AXError::success);
    EXPECT_EQ(hit, host->element(*p.button));
    ASSERT_EQ(ax().elementAtPosition(ax().systemWideElement(), 600, 300, hit), AXError::success);
    EXPECT_EQ(hit.pid, 700);

    // Without click-through the overlay takes the click.
    overlay->setIgnoresMouseEvents(false);
    click({ 300, 150 });
    EXPECT_EQ(p.actions, 1);
    ASSERT_EQ(ax().elementAtPosition(ax().systemWideElement(), 600, 300, hit), AXError::success);
    EXPECT_EQ(hit.pid, pid());
}

TEST_F(Input, OnlyViewsAcceptingTheFirstMouseActOnAClickIntoAWindowThatIsNotKey)
{
    auto panel = std::make_shared<Panel>(Rect(200, 700, 200, 100), WindowStyle::nonactivatingPanel);
    auto plain = std::make_shared<Button>(Rect(0, 0, 100, 100), "Plain");
    int plainActions = 0;
    plain->onAction = [&] { ++plainActions; };
    panel->contentView()->addSubview(plain);
    panel->orderFront();
    click({ 250, 150 });
    click({ 250, 150 });
    EXPECT_EQ(plainActions, 0); // a borderless panel never becomes key

    // A titled window: the first click makes it key and brings the program forward, the next acts.
    auto window = std::make_shared<Window>(Rect(800, 500, 200, 100), WindowStyle::titled);
    auto button = std::make_shared<Button>(Rect(0, 0, 200, 100), "OK");
    int actions = 0;
    button->onAction = [&] { ++actions; };
    window->contentView()->addSubview(button);
    window->orderFront();
    click({ 900, 350 });
    EXPECT_EQ(actions, 0);
    EXPECT_TRUE(window->isKeyWindow());
    EXPECT_TRUE(Application::shared().isActive());
    click({ 900, 350 });
    EXPECT_EQ(actions, 1);
}

TEST_F(Input, AXPressOnAButtonFoundThroughAccessibilityActs)
{
    ButtonPanel p;
    const AXElement app = ax().applicationElement(pid());
    auto button = find(app, "AXButton", "Read");
    ASSERT_TRUE(button);
    std::vector<std::string> actions;
    ASSERT_EQ(ax().copyActionNames(*button, actions), AXError::success);
    EXPECT_EQ(actions, std::vector<std::string> { "AXPress" });
    EXPECT_EQ(ax().performAction(*button, "AXPress"), AXError::success);
    RunLoop::runPending();
    EXPECT_EQ(p.actions, 1);

    p.button->setEnabled(false);
    EXPECT_EQ(attribute<bool>(*button, "AXEnabled"), false);
    ax().performAction(*button, "AXPress");
    RunLoop::runPending();
    EXPECT_EQ(p.actions, 1);
}

TEST_F(Input, TrackingAreasReportThePointerEnteringAndLeaving)
{
    auto panel = std::make_shared<Panel>(Rect(200, 700, 200, 100), WindowStyle::nonactivatingPanel);
    panel->setLevel(WindowLevel::floating);
    auto hover = std::make_shared<HoverView>(Rect(50, 30, 100, 40));
    panel->contentView()->addSubview(hover);
    EXPECT_EQ(hover->updates, 1);
    panel->orderFront();

    moveTo({ 220, 110 }); // in the panel, outside the view
    EXPECT_TRUE(hover->events.empty());
    moveTo({ 300, 150 });
    moveTo({ 310, 155 });
    EXPECT_EQ(hover->events, (std::vector<std::string> { "entered" }));
    moveTo({ 220, 110 });
    moveTo({ 300, 150 });
    moveTo({ 600, 400 }); // off the panel, onto the reader's window
    EXPECT_EQ(hover->events, (std::vector<std::string> { "entered", "exited", "entered", "exited" }));

    // Resizing rebuilds the area: its new part reports too.
    hover->setFrameSize({ 150, 40 });
    EXPECT_EQ(hover->updates, 3);
    moveTo({ 380, 150 });
    EXPECT_EQ(hover->events.back(), "entered");

    // Leaving the screen with the panel reports the exit.
    panel->orderOut();
    EXPECT_EQ(hover->events.back(), "exited");
}

TEST_F(Input, APopUpButtonChoosesFromItsMenuByClicksOrByAccessibility)
{
    SpeedPanel p;
    const auto& popup = p.popup;
    const auto& chosen = p.chosen;

    // The pop-up spans top-left (220...300, 114...140); its menu opens below it.
    click({ 250, 127 });
    ASSERT_TRUE(popup->isMenuOpen());
    const Rect menu = *Screen::toTopLeft(popup->menuWindow()->frame());
    EXPECT_NEAR(menu.minY(), 142, 0.5);
    const double row = PopUpButton::menuRowHeight;
    click({ menu.minX() + 30, menu.minY() + PopUpButton::menuPadding + 2.5 * row }); // the third item
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_EQ(chosen, std::vector<std::string> { "1.5x" });
    EXPECT_EQ(popup->indexOfSelectedItem(), 2);

    // A click outside closes the menu without a choice.
    click({ 250, 127 });
    ASSERT_TRUE(popup->isMenuOpen());
    click({ 900, 500 });
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_EQ(chosen.size(), 1u);

    // Through accessibility: the pop-up's value, pressing it opens the menu, pressing an item chooses.
    const AXElement app = ax().applicationElement(pid());
    auto button = find(app, "AXPopUpButton");
    ASSERT_TRUE(button);
    EXPECT_EQ(attribute<std::string>(*button, "AXValue"), "1.5x");
    ax().performAction(*button, "AXPress");
    RunLoop::runPending();
    ASSERT_TRUE(popup->isMenuOpen());
    auto item = find(app, "AXMenuItem", "0.8x");
    ASSERT_TRUE(item);
    ax().performAction(*item, "AXPress");
    RunLoop::runPending();
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_EQ(chosen.back(), "0.8x");
    EXPECT_EQ(attribute<std::string>(*button, "AXValue"), "0.8x");
    EXPECT_FALSE(find(app, "AXMenuItem"));
}

// An open menu takes the keys, whoever is in front: Escape closes it and nobody else hears it (the
// program's monitors, which stop a reading on Escape, included); Up and Down move along the items
// from the one chosen before and Return chooses. Closed, the keys are the reader's again.
TEST_F(Input, AnOpenMenuTakesTheKeysWhicheverApplicationIsInFront)
{
    SpeedPanel p;
    const auto& popup = p.popup;
    const auto& chosen = p.chosen;
    std::vector<uint16_t> heard;
    EventMonitorPort& monitors = Platform::eventMonitor();
    const auto global = monitors.addGlobalMonitor(eventTypeMask(InputEventType::keyDown),
                                                  [&](const MonitoredEvent& event) { heard.push_back(event.keyCode); });
    const auto local = monitors.addLocalMonitor(eventTypeMask(InputEventType::keyDown), [&](const MonitoredEvent& event) {
        heard.push_back(event.keyCode);
        return std::optional(event);
    });
    ASSERT_TRUE(global && local);

    click({ 250, 127 });
    ASSERT_TRUE(popup->isMenuOpen());
    key(KeyEvent::keyEscape);
    RunLoop::runPending();
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_TRUE(chosen.empty());
    EXPECT_TRUE(heard.empty()) << heard.size() << " keys heard";

    click({ 250, 127 });
    key(KeyEvent::keyDownArrow);
    key(KeyEvent::keyDownArrow); // the last item stays
    key(KeyEvent::keyReturn);
    EXPECT_FALSE(popup->isMenuOpen());
    click({ 250, 127 });
    for (int i = 0; i < 3; ++i)
        key(KeyEvent::keyUpArrow);
    key(KeyEvent::keyEnter);
    EXPECT_EQ(chosen, (std::vector<std::string> { "1.5x", "0.8x" }));
    RunLoop::runPending();
    EXPECT_TRUE(heard.empty()) << heard.size() << " keys heard";
    EXPECT_EQ(Platform::workspace().frontmostApplication()->pid, 700) << "the menu leaves the reader in front";

    key(KeyEvent::keyEscape);
    RunLoop::runPending();
    EXPECT_EQ(heard, std::vector<uint16_t> { KeyEvent::keyEscape }) << "the reader's key, heard from outside";
    monitors.removeMonitor(*global);
    monitors.removeMonitor(*local);
}

// A menu goes with the window of its pop-up button: Command-W closing the window closes the menu,
// and its items can no longer be chosen.
TEST_F(Input, AnOpenMenuClosesWithItsWindow)
{
    auto window = std::make_shared<Window>(Rect(200, 600, 300, 150), WindowStyle::titled | WindowStyle::closable);
    auto popup = std::make_shared<PopUpButton>(Rect(20, 60, 200, 26));
    popup->addItems({ "Xiaoxuan", "Heart" });
    int chosen = 0;
    popup->onAction = [&] { ++chosen; };
    window->contentView()->addSubview(popup);
    window->makeKeyAndOrderFront();
    Application::shared().activate();
    RunLoop::runPending();

    const AXElement app = ax().applicationElement(pid());
    press(*find(app, "AXPopUpButton"));
    ASSERT_TRUE(popup->isMenuOpen());
    const auto item = find(app, "AXMenuItem", "Heart");
    ASSERT_TRUE(item);
    key(KeyEvent::keyW, EventFlags::maskCommand);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(popup->isMenuOpen());
    EXPECT_NE(ax().performAction(*item, "AXPress"), AXError::success);
    RunLoop::runPending();
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(popup->titleOfSelectedItem(), "Xiaoxuan");
    EXPECT_TRUE(programWindows().empty()) << "no menu left on screen";
}

TEST_F(Input, ButtonsAndViewsMayBeReleasedFromTheirOwnAction)
{
    auto panel = std::make_shared<Panel>(Rect(200, 700, 200, 100), WindowStyle::nonactivatingPanel);
    auto button = std::make_shared<FirstMouseButton>(Rect(0, 0, 200, 100), "Close");
    std::shared_ptr<Panel>* owner = &panel;
    button->onAction = [owner] { owner->reset(); };
    panel->contentView()->addSubview(button);
    panel->orderFront();
    button.reset();
    click({ 300, 150 });
    EXPECT_FALSE(panel);
}

} // namespace
} // namespace lorvantine
