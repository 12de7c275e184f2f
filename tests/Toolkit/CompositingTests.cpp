#include "ToolkitTest.h"

#include "Platform/Toolkit/Label.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/Window.h"

namespace lorvantine {
namespace {

constexpr Rgb red { 255, 0, 0 };
constexpr Rgb green { 0, 255, 0 };

// A clear, non-opaque panel holding a red rounded card inset 10 points, like the program's panels.
std::shared_ptr<Panel> cardPanel(const Rect& contentRect, int32_t level = WindowLevel::floating)
{
    auto panel = std::make_shared<Panel>(contentRect, WindowStyle::nonactivatingPanel);
    panel->setLevel(level);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setHasShadow(false);
    auto card = std::make_shared<View>(Rect(10, 10, contentRect.width() - 20, contentRect.height() - 20));
    card->setBackgroundColor(Color::rgb(1, 0, 0));
    card->setCornerRadius(12);
    panel->contentView()->addSubview(card);
    return panel;
}

using Compositing = ToolkitTest;

TEST_F(Compositing, APanelIsDrawnAtItsLevelOverTheApplicationWindowsWithClearSurroundings)
{
    // Top-left (200, 100, 200, 100): over the reader's white window.
    auto panel = cardPanel(Rect(200, 900 - 100 - 100, 200, 100));
    EXPECT_EQ(screenColour({ 300, 150 }), white); // not shown yet
    panel->orderFrontRegardless();

    EXPECT_EQ(screenColour({ 300, 150 }), red);
    EXPECT_EQ(screenColour({ 205, 105 }), white);  // the clear margin shows the window below
    EXPECT_EQ(screenColour({ 211, 111 }), white);  // a rounded corner of the card
    EXPECT_EQ(screenColour({ 230, 112 }), red);    // its top edge, away from the corner

    // The reader coming to the front does not cover a floating panel.
    desktop->raiseWindow(42);
    desktop->setFrontmost(700);
    EXPECT_EQ(screenColour({ 300, 150 }), red);

    panel->orderOut();
    EXPECT_EQ(screenColour({ 300, 150 }), white);
}

TEST_F(Compositing, WhileScreenUpdatesAreDisabledWindowsComeOnScreenUndrawnUntilTheLastEnableDrawsThemAsTheyAreThen)
{
    Window::disableScreenUpdates();
    Window::disableScreenUpdates();
    auto panel = cardPanel(Rect(200, 900 - 100 - 100, 200, 100));
    panel->orderFrontRegardless();
    auto gone = cardPanel(Rect(600, 900 - 100 - 100, 200, 100));
    gone->orderFrontRegardless();
    gone->orderOut();
    EXPECT_FALSE(host->element(*panel).isNull());
    EXPECT_EQ(screenColour({ 300, 150 }), white);

    Window::enableScreenUpdates();
    EXPECT_EQ(screenColour({ 300, 150 }), white);
    panel->contentView()->subviews().at(0)->setBackgroundColor(Color::rgb(0, 1, 0));

    Window::enableScreenUpdates();
    EXPECT_EQ(screenColour({ 300, 150 }), green);
    EXPECT_EQ(screenColour({ 650, 150 }), white);
    // Once enabled, a change is drawn at once again.
    panel->contentView()->subviews().at(0)->setBackgroundColor(Color::rgb(1, 0, 0));
    EXPECT_EQ(screenColour({ 300, 150 }), red);
}

TEST_F(Compositing, HigherLevelsCoverLowerOnesAndAlphaBlends)
{
    auto floating = cardPanel(Rect(200, 700, 200, 100), WindowLevel::floating);
    floating->orderFront();
    auto menu = std::make_shared<Panel>(Rect(300, 700, 200, 100), WindowStyle::nonactivatingPanel);
    menu->setLevel(WindowLevel::popUpMenu);
    menu->setBackgroundColor(Color::rgb(0, 1, 0));
    menu->orderFront();
    // Top-left y of both: 900 - 700 - 100 = 100.
    EXPECT_EQ(screenColour({ 250, 150 }), red);
    EXPECT_EQ(screenColour({ 350, 150 }), green);

    // A panel of a lower level ordered in later still goes below.
    menu->setLevel(WindowLevel::normal);
    EXPECT_EQ(screenColour({ 350, 150 }), red);

    menu->setLevel(WindowLevel::popUpMenu);
    menu->setAlphaValue(0.5);
    EXPECT_PRED3(near, screenColour({ 350, 150 }), (Rgb { 128, 128, 0 }), 2);
}

TEST_F(Compositing, AnotherApplicationsHigherLayerCoversTheProgramsFloatingPanel)
{
    desktop->withModel([](SimModel& m) {
        SimWindow bar;
        bar.title = "Status";
        bar.frame = Rect(0, 120, 1440, 40);
        bar.layer = 25;
        bar.subrole = "AXUnknown";
        bar.background = 0xFF0000FF;
        m.addWindow(700, bar);
    });
    auto panel = cardPanel(Rect(200, 700, 200, 100));
    panel->orderFront();
    EXPECT_EQ(screenColour({ 250, 130 }), (Rgb { 0, 0, 255 }));
    EXPECT_EQ(screenColour({ 250, 185 }), red); // below the bar and its shadow
}

TEST_F(Compositing, HiddenAndTransparentViewsAreNotDrawnAndLayersBorderAndLabelsAre)
{
    auto panel = std::make_shared<Panel>(Rect(100, 400, 300, 100), WindowStyle::nonactivatingPanel);
    panel->setBackgroundColor(Color::white());
    auto hidden = std::make_shared<View>(Rect(0, 0, 100, 100));
    hidden->setBackgroundColor(Color::rgb(1, 0, 0));
    hidden->setHidden(true);
    auto faded = std::make_shared<View>(Rect(100, 0, 100, 100));
    faded->setBackgroundColor(Color::rgb(1, 0, 0));
    faded->setAlphaValue(0.5);
    auto bordered = std::make_shared<View>(Rect(200, 0, 100, 100));
    bordered->setBorderWidth(4);
    bordered->setBorderColor(Color::rgb(0, 0, 1));
    auto label = std::make_shared<Label>(Rect(210, 40, 80, 20), "MMMM");
    label->setTextColor(Color::black());
    panel->contentView()->addSubview(hidden);
    panel->contentView()->addSubview(faded);
    panel->contentView()->addSubview(bordered);
    panel->contentView()->addSubview(label);
    panel->orderFront();

    // Top-left y of the panel: 900 - 400 - 100 = 400.
    EXPECT_EQ(screenColour({ 150, 450 }), white);
    EXPECT_PRED3(near, screenColour({ 250, 450 }), (Rgb { 255, 128, 128 }), 2);
    EXPECT_EQ(screenColour({ 301, 450 }), (Rgb { 0, 0, 255 }));
    EXPECT_EQ(screenColour({ 350, 420 }), white);

    auto picture = SimRenderer::renderScreen(*desktop);
    ASSERT_TRUE(picture);
    int dark = 0;
    for (int y = 400 + 40; y < 400 + 60; ++y)
        for (int x = 312; x < 390; ++x)
            dark += rgbOf(picture->image.pixel(x, y)).r < 100;
    EXPECT_GT(dark, 40);
}

TEST_F(Compositing, ADrawingViewSeesBottomLeftCoordinates)
{
    class Corner final : public View {
    public:
        using View::View;
        void draw(Painter& painter, const Rect&) override { painter.fillRect(Rect(0, 0, 10, 10), Color::rgb(1, 0, 0)); }
    };
    auto window = std::make_shared<Window>(Rect(0, 0, 100, 100), WindowStyle::borderless);
    window->setBackgroundColor(Color::white());
    window->contentView()->addSubview(std::make_shared<Corner>(Rect(0, 0, 100, 100)));
    window->orderFront();
    // The window's bottom-left corner is the screen's: top-left y 890 to 900.
    EXPECT_EQ(screenColour({ 5, 895 }), red);
    EXPECT_EQ(screenColour({ 5, 805 }), white);

    auto alone = host->renderWindow(*window, 2);
    ASSERT_TRUE(alone);
    EXPECT_EQ(alone->width, 200);
    EXPECT_EQ(rgbOf(alone->pixel(10, 190)), red);
    EXPECT_EQ(rgbOf(alone->pixel(10, 10)), white);
}

} // namespace
} // namespace lorvantine
