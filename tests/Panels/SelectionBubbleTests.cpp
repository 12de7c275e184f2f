#include "PanelsTest.h"

#include "Overlay/SelectionBubble.h"
#include "Overlay/SelectionBubbleView.h"
#include "Platform/Toolkit/ImageView.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"

namespace lorvantine::panels {
namespace {

using Mode = SelectionBubble::Mode;

Rgb rgb(const Color& c)
{
    return { static_cast<int>(std::lround(c.red * 255)), static_cast<int>(std::lround(c.green * 255)),
             static_cast<int>(std::lround(c.blue * 255)) };
}

const Rgb dark = rgb(SelectionBubbleView::darkColor());
const Rgb hover = rgb(SelectionBubbleView::hoverColor());
const Rgb error = rgb(SelectionBubbleView::errorColor());
Rgb pressed(const Rgb& c) { return over(c, Rgb {}, 0.15); }

class Bubble : public PanelsTest {
protected:
    void SetUp() override
    {
        PanelsTest::SetUp();
        // A white window under the bubbles, so that what shows around them is known.
        reader = addApplication(700, "com.example.Reader", Rect(200, 100, 1000, 700));
        bubble = std::make_shared<SelectionBubble>();
        bubble->onTap = [this] { ++taps; };
    }

    void TearDown() override
    {
        bubble->hide();
        bubble.reset();
        PanelsTest::TearDown();
    }

    Point origin() const { return bubble->panel()->frame().origin; }
    // The button's middle and its background beside the icon, top-left.
    Point middle() const { return *Screen::toTopLeft(Point { origin().x + 20, origin().y + 20 }); }
    Point beside() const { return *Screen::toTopLeft(Point { origin().x + 9, origin().y + 20 }); }
    Rgb background() { return screenColour(beside()); }

    void setMode(Mode mode)
    {
        bubble->setCurrentMode(mode);
        if (auto view = bubble->container())
            view->setMode(mode);
        RunLoop::runPending();
    }

    AppWindow reader;
    std::shared_ptr<SelectionBubble> bubble;
    int taps = 0;
};

TEST_F(Bubble, StandsBelowAndRightOfThePointerUnlessAScreenEdgeIsNear)
{
    bubble->show({ 500, 400 }, Mode::play);
    EXPECT_EQ(origin(), (Point { 506, 354 }));
    ASSERT_EQ(programWindows().size(), 1u);
    EXPECT_EQ(programWindows()[0].kCGWindowBounds, Rect(506, 900 - 354 - 40, 40, 40));
    EXPECT_EQ(programWindows()[0].kCGWindowLayer, 3);

    bubble->show({ 1420, 400 }, Mode::play); // 20 points from the right edge: to the left
    EXPECT_EQ(origin(), (Point { 1374, 354 }));
    bubble->show({ 500, 20 }, Mode::play); // near the bottom: above
    EXPECT_EQ(origin(), (Point { 506, 26 }));
    bubble->show({ 1439, 899 }, Mode::play); // in the corner: inside the screen
    EXPECT_EQ(origin(), (Point { 1393, 853 }));
    bubble->show({ 2000, 950 }, Mode::play); // on no screen: clamped into the main one
    EXPECT_EQ(origin(), (Point { 1400, 860 }));
}

class BubbleOnTwoScreens : public Bubble {
protected:
    std::vector<ScreenInfo> screens() const override
    {
        return { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 1 },
                 ScreenInfo { Rect(1440, 0, 1280, 800), Rect(1440, 0, 1280, 800), 1 } };
    }
};

TEST_F(BubbleOnTwoScreens, StaysOnTheScreenOfThePointer)
{
    bubble->show({ 1445, 10 }, Mode::play);
    EXPECT_EQ(origin(), (Point { 1451, 16 }));
    bubble->show({ 2715, 790 }, Mode::play);
    EXPECT_EQ(origin(), (Point { 2669, 744 }));
    bubble->show({ 1435, 10 }, Mode::play); // just left of the border: the primary screen's right edge
    EXPECT_EQ(origin(), (Point { 1389, 16 }));
}

TEST_F(Bubble, ShowsEachModeAndTapsOnlyOutsideLoading)
{
    bubble->show({ 500, 400 }, Mode::play);
    advance(0.2);
    auto view = bubble->container();
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->playIcon());
    ASSERT_TRUE(view->playIcon()->image());
    EXPECT_EQ(view->playIcon()->image()->name(), "speaker.wave.2.fill");
    EXPECT_EQ(background(), dark);
    // The speaker is drawn white in the middle of the button.
    auto picture = render();
    int whitePixels = 0;
    for (int dy = -6; dy <= 6; ++dy)
        for (int dx = -6; dx <= 6; ++dx)
            whitePixels += near(colourAt(*picture, { middle().x + dx, middle().y + dy }), white, 40);
    EXPECT_GT(whitePixels, 25);

    click(middle());
    EXPECT_EQ(taps, 1);
    EXPECT_EQ(Platform::workspace().frontmostApplication()->pid, reader.pid);

    setMode(Mode::loading);
    EXPECT_FALSE(view->playIcon());
    ASSERT_TRUE(view->spinner());
    const Animation* spin = view->spinner()->animation(SelectionBubbleView::spinnerAnimationKey);
    ASSERT_TRUE(spin);
    EXPECT_EQ(spin->repeatCount, Animation::repeatForever);
    EXPECT_NEAR(std::get<double>(spin->to), -2 * std::numbers::pi, 1e-9);
    advance(0.45); // half a turn
    EXPECT_NEAR(view->spinner()->presentationRotation(), -std::numbers::pi, 0.05);
    post(InputEventType::leftMouseDown, middle());
    advance(0.2);
    EXPECT_EQ(background(), dark); // no pressed colour while loading
    post(InputEventType::leftMouseUp, middle());
    EXPECT_EQ(taps, 1);

    setMode(Mode::error);
    EXPECT_FALSE(view->spinner());
    ASSERT_TRUE(view->errorIcon());
    EXPECT_EQ(view->errorIcon()->image()->name(), "arrow.clockwise");
    EXPECT_EQ(background(), error);
    post(InputEventType::leftMouseDown, middle());
    advance(0.2);
    EXPECT_PRED3(near, background(), pressed(error), 1);
    post(InputEventType::leftMouseUp, middle());
    advance(0.2);
    EXPECT_EQ(background(), error);
    EXPECT_EQ(taps, 2); // a retry

    bubble->hide();
    EXPECT_TRUE(programWindows().empty());
    EXPECT_EQ(bubble->currentMode(), Mode::play);
    EXPECT_FALSE(bubble->container());
}

TEST_F(Bubble, HoverAndPressColoursInPlayMode)
{
    bubble->show({ 500, 400 }, Mode::play);
    advance(0.2);
    post(InputEventType::mouseMoved, middle());
    advance(0.06);
    const Rgb halfway = background();
    EXPECT_NE(halfway, dark);
    EXPECT_NE(halfway, hover);
    advance(0.1);
    EXPECT_EQ(background(), hover);

    post(InputEventType::leftMouseDown, middle());
    advance(0.2);
    EXPECT_PRED3(near, background(), pressed(hover), 1);
    // Released beside the button: the colour comes back and nothing is tapped.
    post(InputEventType::leftMouseUp, *Screen::toTopLeft(Point { origin().x + 2, origin().y + 20 }));
    advance(0.2);
    EXPECT_EQ(taps, 0);
    EXPECT_EQ(background(), dark); // the pointer has left it

    // Hovering while loading changes nothing, but play mode then shows the hover colour at once.
    setMode(Mode::loading);
    post(InputEventType::mouseMoved, middle());
    advance(0.2);
    EXPECT_EQ(background(), dark);
    setMode(Mode::play);
    EXPECT_EQ(background(), hover);
}

TEST_F(Bubble, FadesInWhenBuiltAndMovesWithoutFadingWhenShownAgain)
{
    bubble->show({ 500, 400 }, Mode::play);
    const View* content = bubble->panel()->contentView().get();
    EXPECT_NEAR(content->presentationAlpha(), 0, 0.01);
    advance(0.075);
    EXPECT_GT(content->presentationAlpha(), 0.2);
    EXPECT_LT(content->presentationAlpha(), 0.8);
    advance(0.1);
    EXPECT_EQ(content->presentationAlpha(), 1);

    Panel* first = bubble->panel();
    bubble->show({ 700, 400 }, Mode::loading);
    EXPECT_EQ(bubble->panel(), first);
    EXPECT_EQ(content->presentationAlpha(), 1);
    EXPECT_EQ(bubble->currentMode(), Mode::loading);
    EXPECT_EQ(bubble->container()->mode(), Mode::loading);
    EXPECT_EQ(origin(), (Point { 706, 354 }));

    bubble->hide();
    bubble->show({ 500, 400 }, Mode::play);
    EXPECT_NEAR(bubble->panel()->contentView()->presentationAlpha(), 0, 0.01);
    advance(0.2);
    EXPECT_EQ(bubble->panel()->contentView()->presentationAlpha(), 1);
}

TEST_F(Bubble, ATapAfterTheBubbleIsReleasedReachesNobody)
{
    bubble->show({ 500, 400 }, Mode::play);
    advance(0.2);
    const Point at = middle();
    post(InputEventType::leftMouseDown, at);
    auto view = bubble->container();
    bubble.reset();
    view->mouseUp(MouseEvent { MouseEvent::Type::leftMouseUp, Point { 20, 20 } });
    EXPECT_EQ(taps, 0);
    bubble = std::make_shared<SelectionBubble>();
}

} // namespace
} // namespace lorvantine::panels
