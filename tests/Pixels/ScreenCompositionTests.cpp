#include "PixelsTestSupport.h"

#include "SimDesktop/Model/SimFixtureLoader.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace lorvantine::testing {
namespace {

constexpr Rgb red { 255, 0, 0 };
constexpr Rgb blue { 0, 0, 255 };

bool isDesktop(const Rgb& c) { return c.b > c.r + 40 && c.b > 100; }

// Reader (pid 700) with a red window 42 and Viewer (pid 800, frontmost) with a blue window 43
// that overlaps it; (500, 300) lies in both, (200, 300) only in 42, (900, 500) only in 43.
std::shared_ptr<SimDesktop> overlappingWindows()
{
    SimFixture f = readerFixture({}, 1);
    f.applications[0].active = false;
    f.applications[0].windows[0].background = 0xFFFF0000;
    SimApplication viewer = application(800, "com.example.Viewer", "Viewer", true);
    viewer.windows.push_back(window(43, "Blue", Rect(400, 200, 600, 400)));
    viewer.windows.back().background = 0xFF0000FF;
    f.applications.insert(f.applications.begin(), viewer); // its window is listed first: in front
    return SimDesktop::create(f);
}

Rgb screenColour(SimDesktop& desktop, Point p)
{
    auto picture = SimRenderer::renderScreen(desktop);
    EXPECT_TRUE(picture);
    return picture ? colourAtPoint(*picture, p) : Rgb {};
}

TEST(ScreenComposition, WindowsAreDrawnBackToFrontAndMinimizedOrHiddenOnesNotAtAll)
{
    auto desktop = overlappingWindows();
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), blue);
    EXPECT_EQ(screenColour(*desktop, { 200, 300 }), red);

    desktop->setFrontmost(700);
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), red);

    desktop->minimizeWindow(42);
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), blue);
    EXPECT_TRUE(isDesktop(screenColour(*desktop, { 200, 300 })));

    desktop->minimizeWindow(42, false);
    desktop->withModel([](SimModel& m) { m.application(700)->hidden = true; });
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), blue);
    EXPECT_TRUE(isDesktop(screenColour(*desktop, { 200, 300 })));
}

TEST(ScreenComposition, HigherLayersStayInFrontAndAlphaLetsTheBackShowThrough)
{
    SimFixture f = readerFixture({}, 1);
    f.applications[0].windows[0].background = 0xFFFF0000;
    SimApplication palette = application(800, "com.example.Palette", "Palette");
    palette.windows.push_back(window(43, "Palette", Rect(400, 200, 300, 300)));
    palette.windows.back().layer = 3;
    palette.windows.back().background = 0xFF0000FF;
    palette.windows.back().subrole = "AXFloatingWindow";
    f.applications.push_back(palette);
    auto desktop = SimDesktop::create(f);
    desktop->setFrontmost(700);
    desktop->raiseWindow(42);
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), blue);

    desktop->withModel([](SimModel& m) { m.window(43)->alpha = 0.5; });
    const Rgb mixed = screenColour(*desktop, { 500, 300 });
    EXPECT_NEAR(mixed.r, 128, 2);
    EXPECT_NEAR(mixed.b, 128, 2);
}

TEST(ScreenComposition, ChromeShowsTitleBarButtonsAndMenuBarOfTheFrontmostApplication)
{
    SimElement below("AXGroup");
    below.frame(Rect(0, 28, 600, 100));
    below.background = 0xFF00FF00;
    SimFixture f = readerFixture({ below });
    for (const char* title : { "Reader", "File", "Edit" }) {
        SimMenuItem menu;
        menu.title = title;
        f.applications[0].menuBar.push_back(menu);
    }
    auto desktop = SimDesktop::create(f);
    auto picture = SimRenderer::renderScreen(*desktop);
    ASSERT_TRUE(picture);
    const Rect frame(100, 50, 600, 400);

    // The title bar is inside the frame; the content below it starts 28 points down.
    const Rgb bar = colourAtPoint(*picture, { frame.minX() + 200, frame.minY() + 3 });
    EXPECT_TRUE(bar.r == bar.g && bar.g == bar.b && bar.r > 200 && bar.r < 250) << bar.r;
    EXPECT_EQ(colourAtPoint(*picture, { frame.minX() + 10, frame.minY() + 28.5 }), (Rgb { 0, 255, 0 }));
    EXPECT_NE(colourAtPoint(*picture, { frame.minX() + 200, frame.minY() + 27.5 }), (Rgb { 0, 255, 0 }));
    EXPECT_GT(darkPixels(*picture, Rect(frame.midX() - 40, frame.minY(), 80, 28)), 20) << "no title";
    const Rgb close = colourAtPoint(*picture, { frame.minX() + 19, frame.minY() + 14 });
    EXPECT_GT(close.r, 200);
    EXPECT_LT(close.g, 130);

    // The menu bar strip along the top names the frontmost application.
    const Rgb strip = colourAtPoint(*picture, { 1000, 5 });
    EXPECT_GT(strip.r, 220);
    EXPECT_FALSE(isDesktop(strip));
    EXPECT_TRUE(isDesktop(colourAtPoint(*picture, { 1000, 30 })));
    const auto lines = lineTexts(picture->lines);
    for (const char* expected : { "Reader", "File", "Edit", "Notes" })
        EXPECT_EQ(std::count(lines.begin(), lines.end(), expected), 1) << expected;
}

TEST(ScreenComposition, AnInactiveWindowHasGreyButtonsAndAPaleTitle)
{
    auto desktop = overlappingWindows();
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);
    const Rgb close = colourAtPoint(*picture, { 100 + 19, 50 + 14 });
    EXPECT_EQ(close.r, close.g);
    EXPECT_EQ(close.g, close.b);
    EXPECT_EQ(darkPixels(*picture, Rect(300, 50, 200, 28)), 0);
    EXPECT_GT(countPixels(*picture, Rect(300, 50, 200, 28), [](const Rgb& c) { return c.r < 200; }), 10);
}

TEST(ScreenComposition, ExternalLayersAreCompositedByLevelAndLeftOutOfCaptures)
{
    auto desktop = overlappingWindows(); // Viewer's blue window 43 is in front
    auto fill = [](uint32_t rgb) {
        return [rgb](cairo_t* cr, const Rect&) {
            cairo_set_source_rgb(cr, ((rgb >> 16) & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0, (rgb & 0xFF) / 255.0);
            cairo_rectangle(cr, 450, 250, 100, 100); // global points
            cairo_fill(cr);
        };
    };
    const uint64_t below = desktop->addExternalLayer({ -10, fill(0x00FF00) });
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), blue);
    const uint64_t floating = desktop->addExternalLayer({ 3, fill(0xFFFF00) });
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), (Rgb { 255, 255, 0 }));
    const uint64_t normal = desktop->addExternalLayer({ 0, fill(0x00FFFF) });
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), (Rgb { 255, 255, 0 })) << "a floating layer stays above normal ones";
    desktop->removeExternalLayer(floating);
    EXPECT_EQ(screenColour(*desktop, { 500, 300 }), (Rgb { 0, 255, 255 })) << "a level-0 layer is above the app windows";

    auto capture = SimRenderer::renderWindow(*desktop, 43);
    ASSERT_TRUE(capture);
    EXPECT_EQ(colourAtPoint(*capture, { 500, 300 }), blue);
    desktop->removeExternalLayer(normal);
    desktop->removeExternalLayer(below);
    EXPECT_TRUE(desktop->externalLayers().empty());
}

TEST(ScreenComposition, WordsCoveredByAnotherWindowAreNotInTheTruthOfTheScreen)
{
    auto desktop = overlappingWindows();
    desktop->addElement(desktop->windowElement(42),
                        SimElement("AXStaticText", "hidden words here").frame(Rect(320, 240, 250, 30)));
    desktop->addElement(desktop->windowElement(42),
                        SimElement("AXStaticText", "visible words").frame(Rect(20, 100, 250, 30)));
    auto picture = SimRenderer::renderScreen(*desktop);
    ASSERT_TRUE(picture);
    auto lines = lineTexts(picture->lines);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "visible words"), lines.end());
    EXPECT_EQ(std::find(lines.begin(), lines.end(), "hidden words here"), lines.end());

    auto capture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(capture);
    lines = lineTexts(capture->lines);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "hidden words here"), lines.end());
}

const char* kindleFixture = R"({
  "screens": [{ "frame": [0, 0, 1440, 900], "scale": 2 }],
  "applications": [{
    "pid": 900, "bundleID": "com.amazon.Lassen", "name": "Kindle", "active": true,
    "windows": [{
      "number": 77, "title": "A Book", "frame": [100, 50, 700, 500], "main": true,
      "children": [
        { "role": "AXGroup", "name": "page", "imageOnly": true, "frame": [40, 60, 620, 400], "colour": "#333333",
          "font": { "family": "DejaVu Serif", "size": 20 }, "spacing": 12,
          "paragraphs": ["It was a bright cold day in April.", "The clocks were striking thirteen."] },
        { "role": "AXImage", "name": "cover", "imageOnly": true, "frame": [40, 470, 620, 24], "text": "Chapter One" }
      ] }] }]
})";

TEST(ImageOnlyContent, IsDrawnButAccessibilitySeesNoTextInIt)
{
    auto fixture = SimFixtureLoader::parse(kindleFixture, "kindle.json");
    ASSERT_TRUE(fixture) << fixture.error();
    auto desktop = SimDesktop::create(*fixture);
    PlatformServices ports = desktop->services();
    AccessibilityPort& ax = *ports.accessibility;
    const AXElement page = desktop->element("page");
    const AXElement cover = desktop->element("cover");

    // The tree holds the page and the cover as elements without text or children.
    AXValue value;
    ASSERT_EQ(ax.copyAttributeValue(desktop->windowElement(77), "AXChildren", value), AXError::success);
    EXPECT_EQ(*axGet<std::vector<AXElement>>(value), (std::vector<AXElement> { page, cover }));
    ASSERT_EQ(ax.copyAttributeValue(page, "AXChildren", value), AXError::success);
    EXPECT_TRUE(axGet<std::vector<AXElement>>(value)->empty());
    EXPECT_EQ(ax.copyAttributeValue(cover, "AXValue", value), AXError::attributeUnsupported);
    EXPECT_EQ(ax.copyAttributeValue(cover, "AXNumberOfCharacters", value), AXError::attributeUnsupported);
    EXPECT_EQ(ax.copyParameterizedAttributeValue(cover, "AXStringForRange", AXRange { 0, 3 }, value),
              AXError::parameterizedAttributeUnsupported);
    AXElement hit;
    ASSERT_EQ(ax.elementAtPosition(ax.systemWideElement(), 300, 130, hit), AXError::success);
    EXPECT_EQ(hit, page);

    // The pixels hold the text, and the truth can read it back.
    auto picture = SimRenderer::renderWindow(*desktop, 77);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->image.width, 1400);
    EXPECT_EQ(lineTexts(picture->lines), (std::vector<std::string> { "A Book", "It was a bright cold day in April.",
                                                                     "The clocks were striking thirteen.", "Chapter One" }));
    for (const auto& line : picture->lines) {
        for (const auto& word : line.words) {
            const Rect points(100 + word.box.minX() / 2, 50 + word.box.minY() / 2, word.box.width() / 2,
                              word.box.height() / 2);
            EXPECT_GT(darkPixels(*picture, points), 0) << word.text;
        }
    }
    EXPECT_GT(countPixels(*picture, Rect(140, 110, 620, 60), [](const Rgb& c) { return c == Rgb { 0x33, 0x33, 0x33 }; }), 20);
}

} // namespace
} // namespace lorvantine::testing
