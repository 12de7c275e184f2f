#include "ToolkitTest.h"

#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/Window.h"

namespace lorvantine {
namespace {

class FlippedView final : public View {
public:
    using View::View;
    bool isFlipped() const override { return true; }
};

using ViewGeometry = ToolkitTest;

TEST_F(ViewGeometry, FramesNestInBottomLeftPointsAndConvertToTheScreenAndToTopLeft)
{
    auto panel = std::make_shared<Panel>(Rect(100, 200, 300, 100), WindowStyle::nonactivatingPanel);
    auto card = std::make_shared<View>(Rect(10, 20, 200, 60));
    auto button = std::make_shared<Button>(Rect(5, 6, 30, 20), "Go");
    card->addSubview(button);
    panel->contentView()->addSubview(card);

    EXPECT_EQ(panel->contentView()->frame(), Rect(0, 0, 300, 100));
    EXPECT_EQ(button->window(), panel.get());
    EXPECT_EQ(button->convertToView(Point { 0, 0 }, nullptr), (Point { 15, 26 }));
    EXPECT_EQ(button->convertFromView(Point { 15, 26 }, nullptr), (Point { 0, 0 }));
    EXPECT_EQ(button->convertToView(Point { 1, 2 }, card.get()), (Point { 6, 8 }));
    EXPECT_EQ(card->convertFromView(button->bounds(), button.get()), Rect(5, 6, 30, 20));

    const Rect onScreen = panel->convertRectToScreen(button->convertToView(button->bounds(), nullptr));
    EXPECT_EQ(onScreen, Rect(115, 226, 30, 20));
    EXPECT_EQ(Screen::toTopLeft(onScreen), Rect(115, 900 - 226 - 20, 30, 20));
    EXPECT_EQ(Screen::fromTopLeft(Rect(115, 654, 30, 20)), onScreen);

    // The same place is what accessibility reports, once the panel is on screen.
    panel->orderFrontRegardless();
    const AXElement element = host->element(*button);
    ASSERT_FALSE(element.isNull());
    EXPECT_EQ(attribute<Point>(element, "AXPosition"), (Point { 115, 654 }));
    EXPECT_EQ(attribute<Size>(element, "AXSize"), (Size { 30, 20 }));
}

TEST_F(ViewGeometry, AFlippedSuperviewMeasuresFramesFromItsTop)
{
    auto window = std::make_shared<Window>(Rect(0, 0, 200, 100), WindowStyle::borderless);
    auto flipped = std::make_shared<FlippedView>(Rect(0, 0, 200, 100));
    auto child = std::make_shared<View>(Rect(10, 20, 40, 30));
    flipped->addSubview(child);
    window->contentView()->addSubview(flipped);

    // 20 points below the flipped view's top edge: its bottom is 100 - 20 - 30 up from the window's.
    EXPECT_EQ(child->convertToView(child->bounds(), nullptr), Rect(10, 50, 40, 30));
    EXPECT_EQ(flipped->convertFromView(Point { 10, 80 }, nullptr), (Point { 10, 20 }));
    EXPECT_EQ(window->viewAt({ 15, 55 }), child.get());
    EXPECT_EQ(window->viewAt({ 15, 85 }), flipped.get());
}

TEST_F(ViewGeometry, HitTestingTakesTheFrontmostVisibleSubview)
{
    auto window = std::make_shared<Window>(Rect(0, 0, 200, 100), WindowStyle::borderless);
    auto back = std::make_shared<View>(Rect(0, 0, 100, 100));
    auto front = std::make_shared<View>(Rect(50, 0, 100, 100));
    window->contentView()->addSubview(back);
    window->contentView()->addSubview(front);
    EXPECT_EQ(window->viewAt({ 75, 50 }), front.get());
    front->setHidden(true);
    EXPECT_EQ(window->viewAt({ 75, 50 }), back.get());
    EXPECT_EQ(window->viewAt({ 150, 50 }), window->contentView().get());
    EXPECT_EQ(window->viewAt({ 250, 50 }), nullptr);
    window->setIgnoresMouseEvents(true);
    EXPECT_EQ(window->viewAt({ 75, 50 }), nullptr);
}

TEST_F(ViewGeometry, MovingASubviewBetweenWindowsUpdatesItsWindowAndRemovingItReleasesIt)
{
    auto first = std::make_shared<Window>(Rect(0, 0, 100, 100), WindowStyle::borderless);
    auto second = std::make_shared<Window>(Rect(0, 0, 100, 100), WindowStyle::borderless);
    auto view = std::make_shared<View>(Rect(0, 0, 10, 10));
    std::weak_ptr<View> weak = view;
    first->contentView()->addSubview(view);
    second->contentView()->addSubview(view);
    EXPECT_EQ(view->window(), second.get());
    EXPECT_TRUE(first->contentView()->subviews().empty());
    view.reset();
    EXPECT_FALSE(weak.expired());
    weak.lock()->removeFromSuperview();
    EXPECT_TRUE(weak.expired());
}

TEST_F(ViewGeometry, TitledWindowsAddATitleBarAboveTheirContent)
{
    auto window = std::make_shared<Window>(Rect(0, 0, 520, 360), WindowStyle::titled | WindowStyle::closable);
    EXPECT_EQ(window->frame().size, (Size { 520, 360 + Window::titleBarHeight }));
    EXPECT_EQ(window->contentRect().size, (Size { 520, 360 }));
    window->center();
    const Rect f = window->frame();
    EXPECT_DOUBLE_EQ(f.midX(), 720);
    EXPECT_GE(f.minY(), 0);
    EXPECT_LE(f.maxY(), 875);
    window->setContentSize({ 400, 200 });
    EXPECT_EQ(window->contentView()->frame(), Rect(0, 0, 400, 200));
    EXPECT_DOUBLE_EQ(window->frame().maxY(), f.maxY());
}

TEST_F(ViewGeometry, APanelOnScreenIsAWindowOfTheProgramInTheListAndToAccessibility)
{
    auto panel = std::make_shared<Panel>(Rect(620, 316, 288, 72), WindowStyle::nonactivatingPanel);
    panel->setLevel(WindowLevel::floating);
    panel->setTitle("Player");
    panel->orderFrontRegardless();

    const uint32_t number = panel->windowNumber();
    ASSERT_NE(number, 0u);
    auto list = Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly);
    ASSERT_TRUE(list);
    auto it = std::find_if(list->begin(), list->end(), [&](const WindowInfo& w) { return w.kCGWindowNumber == number; });
    ASSERT_NE(it, list->end());
    EXPECT_EQ(it->kCGWindowOwnerPID, pid());
    EXPECT_EQ(it->kCGWindowLayer, 3);
    EXPECT_EQ(it->kCGWindowBounds, Rect(620, 900 - 316 - 72, 288, 72));
    EXPECT_EQ(list->front().kCGWindowNumber, number); // floating: above the reader's window

    auto windows = attribute<std::vector<AXElement>>(ax().applicationElement(pid()), "AXWindows");
    ASSERT_TRUE(windows);
    ASSERT_EQ(windows->size(), 1u);
    EXPECT_EQ(attribute<std::string>(windows->front(), "AXTitle"), "Player");
    EXPECT_EQ(attribute<Point>(windows->front(), "AXPosition"), (Point { 620, 512 }));
    EXPECT_EQ(attribute<Size>(windows->front(), "AXSize"), (Size { 288, 72 }));

    auto running = Platform::workspace().runningApplications();
    EXPECT_TRUE(std::any_of(running.begin(), running.end(), [&](const RunningApplication& a) {
        return a.pid == pid() && a.bundleIdentifier == std::string("com.lorvantine.desktop");
    }));

    // Moving follows; ordering out leaves the list and accessibility; ordering in keeps the number.
    panel->setFrameOrigin({ 10, 20 });
    EXPECT_EQ(attribute<Point>(windows->front(), "AXPosition"), (Point { 10, 900 - 20 - 72 }));
    panel->orderOut();
    EXPECT_TRUE(attribute<std::vector<AXElement>>(ax().applicationElement(pid()), "AXWindows")->empty());
    list = Platform::windowServer().copyWindowInfo(WindowListOption::optionAll);
    EXPECT_TRUE(std::none_of(list->begin(), list->end(), [&](const WindowInfo& w) { return w.kCGWindowNumber == number; }));
    panel->orderFrontRegardless();
    EXPECT_EQ(panel->windowNumber(), number);
}

TEST_F(ViewGeometry, ReleasingAShownWindowTakesItOffTheScreen)
{
    auto panel = std::make_shared<Panel>(Rect(0, 0, 40, 40), WindowStyle::nonactivatingPanel);
    panel->orderFront();
    const uint32_t number = panel->windowNumber();
    EXPECT_EQ(host->window(number), panel.get());
    panel.reset();
    EXPECT_EQ(host->window(number), nullptr);
    EXPECT_FALSE(desktop->windowFrame(number));
}

TEST_F(ViewGeometry, AccessibilityMirrorsTheViewsThatAreElementsAndFollowsTheirChanges)
{
    auto panel = std::make_shared<Panel>(Rect(0, 0, 200, 50), WindowStyle::nonactivatingPanel);
    auto group = std::make_shared<View>(Rect(10, 5, 180, 40)); // not an element: its children rise
    auto label = std::make_shared<Label>(Rect(0, 0, 60, 16), "0/0");
    auto play = std::make_shared<Button>(Rect(70, 4, 32, 32));
    play->setImage(SymbolImage::named("play.fill", "Play"));
    play->setImagePosition(ImagePosition::imageOnly);
    group->addSubview(label);
    group->addSubview(play);
    panel->contentView()->addSubview(group);
    panel->orderFront();

    const AXElement window = host->element(*panel);
    auto kids = children(window);
    ASSERT_EQ(kids.size(), 2u);
    EXPECT_EQ(attribute<std::string>(kids[0], "AXRole"), "AXStaticText");
    EXPECT_EQ(attribute<std::string>(kids[0], "AXValue"), "0/0");
    EXPECT_EQ(attribute<std::string>(kids[1], "AXRole"), "AXButton");
    EXPECT_EQ(attribute<std::string>(kids[1], "AXDescription"), "Play");
    EXPECT_EQ(attribute<Point>(kids[1], "AXPosition"), (Point { 80, 900 - 9 - 32 }));

    label->setText("3/12");
    EXPECT_EQ(attribute<std::string>(kids[0], "AXValue"), "3/12");
    play->setFrameOrigin({ 100, 4 });
    EXPECT_EQ(attribute<Point>(kids[1], "AXPosition"), (Point { 110, 859 }));
    EXPECT_EQ(host->view(kids[1]), play.get());

    play->setHidden(true);
    kids = children(window);
    ASSERT_EQ(kids.size(), 1u);
    EXPECT_EQ(attribute<std::string>(kids[0], "AXRole"), "AXStaticText");
}

} // namespace
} // namespace lorvantine
