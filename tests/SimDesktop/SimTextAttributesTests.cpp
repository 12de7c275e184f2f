#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

const std::string kNotes = "Reading list\n\n1. The Shallows — Nicholas Carr\n2. 《朝花夕拾》 鲁迅 📚\n"
                           "3. How to Read a Book — Mortimer Adler\n4. Caf" "e\u0301 society\n5. One more\n"
                           "6. And another line\n7. Seven\n8. Eight\n9. Nine\n10. Ten\n11. Eleven\n12. Twelve";

SimFixture scrollingFixture()
{
    SimElement scroll("AXScrollArea");
    scroll.named("scroll").frame(Rect(0, 30, 600, 200));
    SimElement area("AXTextArea", kNotes);
    area.named("area").settable = { "AXValue" };
    scroll.child(area);
    SimElement paragraph("AXGroup");
    paragraph.named("paragraph").frame(Rect(0, 240, 400, 100));
    paragraph.runs = { { "A long sentence that leads into ", std::nullopt },
                       { "a link that wraps over the end of the line", std::string("https://example.com") },
                       { " and ends.", std::nullopt } };
    SimElement footer("AXStaticText", "A footer that flows from the top of the window at the window's own width.");
    footer.named("footer");
    return oneWindowFixture({ scroll, paragraph, footer });
}

class SimTextAttributesTest : public ::testing::Test {
protected:
    PortsUnderTest t { SimDesktop::create(scrollingFixture()) };
    AXElement area = t.desktop->element("area");
    AXElement scroll = t.desktop->element("scroll");
    int64_t length() { return *t.get<int64_t>(area, "AXNumberOfCharacters"); }
    int64_t lineCount(const AXElement& e)
    {
        int64_t n = 0;
        while (t.parameterized<AXRange>(e, "AXRangeForLine", n))
            ++n;
        return n;
    }
};

TEST_F(SimTextAttributesTest, ATextElementIsAsTallAsItsLaidOutTextWhoseLinesIndicesAndPositionsAgree)
{
    auto frame = t.get<Rect>(area, "AXFrame");
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->origin, (Point { 100, 80 }));
    EXPECT_EQ(frame->width(), 600);
    ASSERT_EQ(lineCount(area), 14);
    auto lastLine = *t.parameterized<AXRange>(area, "AXRangeForLine", int64_t(13));
    EXPECT_EQ(lastLine.location + lastLine.length, length());
    EXPECT_NEAR(frame->maxY(), t.bounds(area, length() - 1, 1)->maxY(), 0.01);
    EXPECT_GT(frame->height(), 200);

    // Lines, indices and positions agree with the bounds.
    for (int64_t line = 0; line < 14; ++line) {
        auto range = *t.parameterized<AXRange>(area, "AXRangeForLine", line);
        EXPECT_EQ(t.parameterized<int64_t>(area, "AXLineForIndex", range.location), line);
        if (range.length == 0)
            continue;
        Rect first = *t.bounds(area, range.location, 1);
        if (first.width() > 0) {
            auto hit = t.parameterized<AXRange>(area, "AXRangeForPosition", Point { first.midX(), first.midY() });
            EXPECT_EQ(hit->location, range.location) << line;
        }
    }
    EXPECT_FALSE(t.parameterized<int64_t>(area, "AXLineForIndex", length() + 1));
    EXPECT_FALSE(t.parameterized<AXRange>(area, "AXRangeForLine", int64_t(-1)));
}

TEST_F(SimTextAttributesTest, ScrollingMovesTheTextAndWhatIsVisible)
{
    const AXRange visible = *t.get<AXRange>(area, "AXVisibleCharacterRange");
    EXPECT_EQ(visible.location, 0);
    EXPECT_LT(visible.location + visible.length, length());
    // The last visible line is the last one that overlaps the scroll area's 200 points.
    const Rect lastVisible = *t.bounds(area, visible.location + visible.length - 1, 1);
    EXPECT_LT(lastVisible.minY(), 280);
    const Rect firstHidden = *t.bounds(area, visible.location + visible.length, 1);
    EXPECT_GE(firstHidden.minY(), 280 - 0.01);

    const Rect before = *t.bounds(area, 20, 3);
    t.desktop->setScroll(scroll, Point { 0, 100 });
    EXPECT_TRUE(near(*t.bounds(area, 20, 3), Rect(before.minX(), before.minY() - 100, before.width(), before.height())));
    EXPECT_EQ(t.get<Point>(area, "AXPosition"), (Point { 100, -20 }));
    const AXRange scrolled = *t.get<AXRange>(area, "AXVisibleCharacterRange");
    EXPECT_GT(scrolled.location, 0);
    EXPECT_LT(t.bounds(area, scrolled.location, 1)->minY(), 80);
    EXPECT_GT(t.bounds(area, scrolled.location, 1)->maxY(), 80);

    t.desktop->setScroll(scroll, Point { 0, 10000 });
    EXPECT_EQ(t.get<AXRange>(area, "AXVisibleCharacterRange"), (AXRange { 0, 0 }));
}

TEST_F(SimTextAttributesTest, MovingTheWindowShiftsEveryAnswerAndResizingReflows)
{
    const Rect before = *t.bounds(area, 5, 10);
    t.desktop->moveWindow(42, Point { 130, 90 });
    EXPECT_TRUE(near(*t.bounds(area, 5, 10), Rect(before.minX() + 30, before.minY() + 40, before.width(), before.height())));

    const AXElement footer = t.desktop->element("footer");
    EXPECT_EQ(lineCount(footer), 1);
    const Size paragraphSize = *t.get<Size>(t.desktop->element("paragraph"), "AXSize");
    t.desktop->resizeWindow(42, Size { 200, 400 });
    EXPECT_EQ(t.get<Size>(footer, "AXSize")->width, 200);
    EXPECT_GT(lineCount(footer), 2);
    EXPECT_NEAR(t.get<Size>(footer, "AXSize")->height, t.bounds(footer, 0, *t.get<int64_t>(footer, "AXNumberOfCharacters"))->height(), 0.01);
    // Elements of their own width keep their layout.
    EXPECT_EQ(t.get<Size>(t.desktop->element("paragraph"), "AXSize"), paragraphSize);
    EXPECT_EQ(t.get<Size>(area, "AXSize")->width, 600);
}

TEST_F(SimTextAttributesTest, RunsAnswerForTheirOwnPartOfTheParagraph)
{
    const AXElement paragraph = t.desktop->element("paragraph");
    const auto runs = *t.get<std::vector<AXElement>>(paragraph, "AXChildren");
    ASSERT_EQ(runs.size(), 3u);
    const AXElement link = t.get<std::vector<AXElement>>(runs[1], "AXChildren")->at(0);
    const std::string linkText = "a link that wraps over the end of the line";
    ASSERT_EQ(t.get<int64_t>(link, "AXNumberOfCharacters"), static_cast<int64_t>(linkText.size()));
    EXPECT_EQ(t.parameterized<std::string>(link, "AXStringForRange", AXRange { 2, 4 }), "link");

    // The link starts on the first line of the paragraph and wraps onto the next.
    EXPECT_EQ(t.parameterized<int64_t>(link, "AXLineForIndex", int64_t(0)), 0);
    const int64_t lastLine = *t.parameterized<int64_t>(link, "AXLineForIndex", int64_t(linkText.size() - 1));
    EXPECT_GE(lastLine, 1);
    const AXRange firstLine = *t.parameterized<AXRange>(link, "AXRangeForLine", int64_t(0));
    EXPECT_EQ(firstLine.location, 0);
    EXPECT_LT(firstLine.length, static_cast<int64_t>(linkText.size()));
    const Rect whole = *t.get<Rect>(link, "AXFrame");
    EXPECT_GT(whole.height(), t.bounds(link, 0, 1)->height() * 1.5);
    EXPECT_TRUE(near(whole, *t.bounds(link, 0, static_cast<int64_t>(linkText.size()))));

    // The link's first Character follows the first run's last one.
    const int64_t firstRunLength = *t.get<int64_t>(runs[0], "AXNumberOfCharacters");
    EXPECT_NEAR(t.bounds(runs[0], firstRunLength - 1, 1)->maxX(), t.bounds(link, 0, 1)->minX(), 0.01);
    // A position over another run is clamped into this one.
    const Rect ends = *t.bounds(runs[2], 1, 1);
    auto clamped = t.parameterized<AXRange>(link, "AXRangeForPosition", Point { ends.midX(), ends.midY() });
    EXPECT_EQ(clamped->location + clamped->length, static_cast<int64_t>(linkText.size()));
    EXPECT_FALSE(t.bounds(link, 0, static_cast<int64_t>(linkText.size()) + 1));
}

TEST_F(SimTextAttributesTest, SettingTheValueOfAnEditableTextReplacesItsLayout)
{
    EXPECT_EQ(t.ax().setAttributeValue(area, "AXValue", std::string("短 text")), AXError::success);
    EXPECT_EQ(t.get<std::string>(area, "AXValue"), "短 text");
    EXPECT_EQ(length(), 6);
    EXPECT_EQ(t.parameterized<AXRange>(area, "AXRangeForLine", int64_t(0)), (AXRange { 0, 6 }));
    EXPECT_LT(t.get<Size>(area, "AXSize")->height, 40);
    EXPECT_EQ(t.ax().setAttributeValue(area, "AXValue", int64_t(3)), AXError::illegalArgument);

    t.desktop->setText(area, "one\ntwo");
    EXPECT_EQ(t.parameterized<AXRange>(area, "AXRangeForLine", int64_t(1)), (AXRange { 4, 3 }));
}

} // namespace
} // namespace lorvantine
