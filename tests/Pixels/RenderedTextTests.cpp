#include "PixelsTestSupport.h"

#include "Support/Text.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

// Repeated letters of fractional advance make any drift between layout and drawing add up.
const std::string mixedText = "Quiet jumpy foxes read 慢读的时间 — twice.\n"
                              "mmmmmmmmmmmmmm wwwwwwwwwwwwww\n"
                              "A second paragraph wraps around the narrow column of text here.";

SimElement textElement(std::string text)
{
    SimElement e("AXStaticText", std::move(text));
    e.named("text").at({ 40, 60 }).sized(300).fontSize(18);
    return e;
}

class RenderedText : public ::testing::TestWithParam<double> {};

TEST_P(RenderedText, InkLiesWithinTheBoundsOfEachCharacter)
{
    auto desktop = SimDesktop::create(readerFixture({ textElement(mixedText) }));
    PlatformServices ports = desktop->services();
    const AXElement element = desktop->element("text");
    auto picture = SimRenderer::renderWindow(*desktop, 42, GetParam());
    ASSERT_TRUE(picture);

    const std::u16string units = Text::toUtf16(mixedText);
    std::vector<Rect> boxes;
    for (size_t i = 0; i < units.size(); ++i) {
        if (Text::isWhitespace(units[i]))
            continue;
        auto box = boundsForRange(*ports.accessibility, element, static_cast<int64_t>(i), 1);
        ASSERT_TRUE(box);
        EXPECT_GT(countPixels(*picture, *box, [](const Rgb& c) { return c.r + c.g + c.b < 3 * 200; }), 0)
            << "no ink at character " << i;
        boxes.push_back(box->insetBy(-0.5, -0.5));
    }
    ASSERT_GT(boxes.size(), 60u);

    // Every dark pixel around the text belongs to one of its Characters.
    const auto frame = desktop->frameOf(element);
    ASSERT_TRUE(frame);
    const PixelRect around = pixelsOf(*picture, frame->insetBy(-10, -10));
    int stray = 0;
    for (int y = around.y; y < around.y + around.height; ++y) {
        for (int x = around.x; x < around.x + around.width; ++x) {
            if (!isDark(colourAt(picture->image, x, y)))
                continue;
            const Point p { picture->area.minX() + (x + 0.5) / picture->scale,
                            picture->area.minY() + (y + 0.5) / picture->scale };
            bool inside = false;
            for (const Rect& box : boxes)
                inside = inside || box.contains(p);
            stray += inside ? 0 : 1;
        }
    }
    EXPECT_EQ(stray, 0);
}

// DejaVu Sans puts the baseline 1901/2048 em below the top of a line and the top of an "x"
// 1120/2048 em above it: every line's "x" must sit there, however many paragraphs come before.
TEST_P(RenderedText, GlyphsSitOnTheBaselineOfTheirLine)
{
    auto desktop = SimDesktop::create(readerFixture({ textElement("xxxx\nxxxx\n\nxxxx") }));
    PlatformServices ports = desktop->services();
    const AXElement element = desktop->element("text");
    auto picture = SimRenderer::renderWindow(*desktop, 42, GetParam());
    ASSERT_TRUE(picture);
    const double size = 18;
    for (int64_t location : { 0, 5, 11 }) {
        const Rect line = boundsForRange(*ports.accessibility, element, location, 4).value();
        const double baseline = line.minY() + size * 1901 / 2048;
        const PixelRect p = pixelsOf(*picture, line);
        int top = p.y + p.height, bottom = p.y - 1;
        for (int y = p.y; y < p.y + p.height; ++y)
            for (int x = p.x; x < p.x + p.width; ++x)
                if (colourAt(picture->image, x, y).r < 160) {
                    top = std::min(top, y);
                    bottom = std::max(bottom, y);
                }
        const double inkTop = picture->area.minY() + top / picture->scale;
        const double inkBottom = picture->area.minY() + (bottom + 1) / picture->scale;
        EXPECT_NEAR(inkBottom, baseline, 0.6) << "line at " << location;
        EXPECT_NEAR(inkTop, baseline - size * 1120 / 2048, 0.6) << "line at " << location;
    }
}

INSTANTIATE_TEST_SUITE_P(Scales, RenderedText, ::testing::Values(1.0, 2.0, 1.5));

TEST(RenderedTextLayout, ParagraphsAreSeparatedByBackgroundAndClippedByTheirScrollArea)
{
    SimElement column("AXGroup");
    column.at({ 20, 40 }).sized(500).named("column");
    column.spacing = 24;
    column.child(SimElement("AXStaticText", "The first paragraph of the page.").named("first"));
    column.child(SimElement("AXStaticText", "The second paragraph of the page.").named("second"));
    SimElement scroller("AXScrollArea");
    scroller.frame(Rect(0, 200, 600, 60)).named("scroller");
    scroller.scroll = Point { 0, 30 };
    scroller.child(SimElement("AXStaticText", "Line one\nLine two\nLine three\nLine four\nLine five").named("scrolled"));
    auto desktop = SimDesktop::create(readerFixture({ column, scroller }));
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);

    const Rect first = desktop->frameOf(desktop->element("first")).value();
    const Rect second = desktop->frameOf(desktop->element("second")).value();
    ASSERT_NEAR(second.minY() - first.maxY(), 24, 1e-9);
    EXPECT_GT(darkPixels(*picture, first), 20);
    EXPECT_GT(darkPixels(*picture, second), 20);
    const Rect gap(100, first.maxY() + 1, 600, 22);
    EXPECT_EQ(darkPixels(*picture, gap), 0);
    EXPECT_EQ(colourAtPoint(*picture, { 400, first.maxY() + 12 }), (Rgb { 255, 255, 255 }));

    // Nothing of the scrolled text shows outside its scroll area.
    const Rect area = desktop->frameOf(desktop->element("scroller")).value();
    EXPECT_GT(darkPixels(*picture, area), 20);
    EXPECT_EQ(darkPixels(*picture, Rect(area.minX(), area.maxY(), area.width(), 60)), 0);
    EXPECT_EQ(darkPixels(*picture, Rect(area.minX(), area.minY() - 30, area.width(), 29)), 0);
}

TEST(RenderedTextLayout, ColoursComeFromTheFixtureAndLinksAreBlue)
{
    SimElement note("AXStaticText", "Warning in red");
    note.frame(Rect(20, 40, 400, 60)).named("note");
    note.colour = 0xFFC00000;
    note.background = 0xFFFFF3C4;
    SimElement linked("AXGroup");
    linked.at({ 20, 140 }).sized(500).named("linked").fontSize(20);
    linked.runs = { { "plain words ", std::nullopt }, { "a link", "https://example.com" } };
    auto desktop = SimDesktop::create(readerFixture({ note, linked }));
    PlatformServices ports = desktop->services();
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);

    const Rect noteFrame = desktop->frameOf(desktop->element("note")).value();
    EXPECT_EQ(colourAtPoint(*picture, { noteFrame.maxX() - 5, noteFrame.maxY() - 5 }), (Rgb { 0xFF, 0xF3, 0xC4 }));
    const auto inkBounds = boundsForRange(*ports.accessibility, desktop->element("note"), 0, 7);
    ASSERT_TRUE(inkBounds);
    const Rect ink = *inkBounds;
    EXPECT_GT(countPixels(*picture, ink, [](const Rgb& c) { return c.r > 150 && c.g < 60 && c.b < 60; }), 10);
    EXPECT_EQ(countPixels(*picture, ink, [](const Rgb& c) { return c.r < 0xBF; }), 0) << "text drawn in another colour";

    // The runs answer for their parts of the paragraph: a static text, and a link holding one.
    AXValue value;
    ASSERT_EQ(ports.accessibility->copyAttributeValue(desktop->element("linked"), "AXChildren", value), AXError::success);
    const auto runs = *axGet<std::vector<AXElement>>(value);
    ASSERT_EQ(runs.size(), 2u);
    ASSERT_EQ(ports.accessibility->copyAttributeValue(runs[1], "AXChildren", value), AXError::success);
    const AXElement linkText = axGet<std::vector<AXElement>>(value)->at(0);
    const auto plainBounds = boundsForRange(*ports.accessibility, runs[0], 0, 11);
    const auto linkBounds = boundsForRange(*ports.accessibility, linkText, 0, 6);
    ASSERT_TRUE(plainBounds && linkBounds);
    const Rect plain = *plainBounds, link = *linkBounds;
    EXPECT_GT(countPixels(*picture, plain, [](const Rgb& c) { return c.r < 60 && c.g < 60 && c.b < 60; }), 10);
    EXPECT_EQ(countPixels(*picture, link, [](const Rgb& c) { return c.r < 60 && c.g < 60 && c.b < 60; }), 0);
    EXPECT_GT(countPixels(*picture, link, [](const Rgb& c) { return c.b > 150 && c.r < 80; }), 10);
}

// The lines `element` is laid out in, as accessibility gives them, each word one space apart.
std::vector<std::string> laidOutLines(AccessibilityPort& ax, const AXElement& element)
{
    std::vector<std::string> lines;
    for (int64_t line = 0;; ++line) {
        AXValue value;
        if (ax.copyParameterizedAttributeValue(element, "AXRangeForLine", line, value) != AXError::success)
            break;
        const AXRange range = *axGet<AXRange>(value);
        ax.copyParameterizedAttributeValue(element, "AXStringForRange", range, value);
        lines.push_back(Text::joined(Text::splitOnWhitespace(*axGet<std::string>(value)), " "));
    }
    return lines;
}

TEST(RenderedTextLayout, TruthLinesAreTheLaidOutLines)
{
    // The boxes of the words are checked where recognition maps them back to the screen.
    SimElement text("AXStaticText", "Reading slowly is a skill that anyone can learn with a little patience.\n读书 使人 明智");
    text.named("text").at({ 30, 50 }).sized(260).fontSize(16);
    auto desktop = SimDesktop::create(readerFixture({ text }));
    PlatformServices ports = desktop->services();
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);

    std::vector<std::string> expected { "Notes" }; // the title bar is text too
    const std::vector<std::string> lines = laidOutLines(*ports.accessibility, desktop->element("text"));
    ASSERT_GE(lines.size(), 4u);
    expected.insert(expected.end(), lines.begin(), lines.end());
    EXPECT_EQ(lineTexts(picture->lines), expected);
}

TEST(RenderedTextLayout, TruthLinesRunAcrossThePictureAsALineReadingEngineReportsThem)
{
    // Two stories side by side under a headline: whichever element drew them, the lines come top
    // to bottom across the window, the two columns' lines level with each other left to right.
    SimElement headline("AXStaticText", "Village Hall Reopens After Winter");
    headline.named("headline").at({ 20, 30 }).sized(540).fontSize(22);
    SimElement left("AXStaticText", "The new roof on the village hall was finished in February, a month late.");
    left.named("left").at({ 20, 80 }).sized(250).fontSize(16);
    SimElement right("AXStaticText", "Millbrook Primary School won the county reading quiz for a second year.");
    right.named("right").at({ 310, 80 }).sized(250).fontSize(16);
    SimElement caption("AXStaticText", "Photographs by Tom Rowe.");
    caption.named("caption").at({ 20, 300 }).sized(540).fontSize(13);
    auto desktop = SimDesktop::create(readerFixture({ headline, left, right, caption }));
    PlatformServices ports = desktop->services();
    auto picture = SimRenderer::renderWindow(*desktop, 42);
    ASSERT_TRUE(picture);

    const std::vector<std::string> leftLines = laidOutLines(*ports.accessibility, desktop->element("left"));
    const std::vector<std::string> rightLines = laidOutLines(*ports.accessibility, desktop->element("right"));
    ASSERT_EQ(leftLines.size(), rightLines.size());
    ASSERT_GE(leftLines.size(), 3u);
    std::vector<std::string> expected { "Notes", "Village Hall Reopens After Winter" };
    for (size_t i = 0; i < leftLines.size(); ++i) {
        expected.push_back(leftLines[i]);
        expected.push_back(rightLines[i]);
    }
    expected.push_back("Photographs by Tom Rowe.");
    EXPECT_EQ(lineTexts(picture->lines), expected);
}

} // namespace
} // namespace lorvantine::testing
