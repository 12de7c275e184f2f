#include "SimDesktop/Text/SimTextLayout.h"

#include "SimDesktopTestSupport.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

std::shared_ptr<const SimTextLayout> lay(const std::string& text, double width = 0, double size = 16)
{
    SimFont font;
    font.size = size;
    return SimTextLayout::make(text, width, font);
}

Rect bounds(const SimTextLayout& layout, int64_t location, int64_t length)
{
    auto r = layout.boundsForRange(AXRange { location, length });
    EXPECT_TRUE(r.has_value()) << location << "+" << length;
    return r.value_or(Rect());
}

TEST(SimTextLayout, AdjacentCharactersSitSideBySideOnOneLine)
{
    auto layout = lay("Hello, world");
    ASSERT_EQ(layout->utf16Length(), 12u);
    for (int64_t i = 0; i + 1 < 12; ++i) {
        Rect a = bounds(*layout, i, 1), b = bounds(*layout, i + 1, 1);
        EXPECT_GT(a.width(), 0) << i;
        EXPECT_NEAR(a.maxX(), b.minX(), 0.01) << i;
        EXPECT_EQ(a.minY(), b.minY());
        EXPECT_EQ(a.height(), b.height());
    }
    EXPECT_TRUE(near(bounds(*layout, 0, 12), Rect(0, 0, layout->size().width, layout->size().height), 0.5));
}

TEST(SimTextLayout, SurrogatePairsAreOneCharacterOfTwoUnits)
{
    auto layout = lay("a😀b");
    ASSERT_EQ(layout->utf16Length(), 4u);
    EXPECT_EQ(layout->stringForRange({ 1, 2 }), "😀");
    EXPECT_EQ(layout->stringForRange({ 0, 4 }), "a😀b");
    // A range that splits the pair reads the lone half as U+FFFD, as a UTF-16 string shows it.
    EXPECT_EQ(layout->stringForRange({ 1, 1 }), "\uFFFD");
    EXPECT_EQ(layout->stringForRange({ 2, 2 }), "\uFFFDb");
    EXPECT_EQ(layout->stringForRange({ 0, 2 }), "a\uFFFD");

    Rect emoji = bounds(*layout, 1, 2);
    EXPECT_GT(emoji.width(), 4);
    EXPECT_TRUE(near(bounds(*layout, 1, 1), emoji));
    EXPECT_TRUE(near(bounds(*layout, 2, 1), emoji));
    EXPECT_NEAR(bounds(*layout, 0, 1).maxX(), emoji.minX(), 0.01);
    EXPECT_NEAR(emoji.maxX(), bounds(*layout, 3, 1).minX(), 0.01);
    EXPECT_EQ(layout->characterRangeAt(2), (AXRange { 1, 2 }));
}

TEST(SimTextLayout, CombiningMarksStayWithTheirBase)
{
    auto layout = lay("caf" "e\u0301" " x");
    ASSERT_EQ(layout->utf16Length(), 7u);
    Rect accented = bounds(*layout, 3, 2);
    EXPECT_TRUE(near(bounds(*layout, 3, 1), accented));
    EXPECT_TRUE(near(bounds(*layout, 4, 1), accented));
    EXPECT_EQ(layout->rangeForPosition({ accented.midX(), accented.midY() }), (AXRange { 3, 2 }));
    EXPECT_NEAR(bounds(*layout, 2, 1).maxX(), accented.minX(), 0.01);
}

TEST(SimTextLayout, ChineseCharactersAreAboutOneEmWide)
{
    auto layout = lay("慢读并不是读得少", 0, 20);
    ASSERT_EQ(layout->utf16Length(), 8u);
    for (int64_t i = 0; i < 8; ++i) {
        Rect r = bounds(*layout, i, 1);
        EXPECT_NEAR(r.width(), 20, 2) << i;
        if (i > 0) {
            EXPECT_NEAR(bounds(*layout, i - 1, 1).maxX(), r.minX(), 0.01);
        }
    }
}

TEST(SimTextLayout, WrapsAtTheWidthAndNumbersTheLines)
{
    const std::string text = "Most of us read more words in a day than our grandparents read in a week, yet we "
                             "remember fewer of them.";
    auto layout = lay(text, 200);
    ASSERT_GT(layout->lineCount(), 2u);
    EXPECT_LE(layout->size().width, 200.5);
    int64_t expectedStart = 0;
    for (size_t line = 0; line < layout->lineCount(); ++line) {
        auto range = layout->rangeForLine(line);
        ASSERT_TRUE(range);
        EXPECT_EQ(range->location, expectedStart) << line;
        EXPECT_GT(range->length, 0);
        EXPECT_EQ(layout->lineForIndex(static_cast<size_t>(range->location)), line);
        EXPECT_EQ(layout->lineForIndex(static_cast<size_t>(range->location + range->length - 1)), line);
        Rect lineRect = *layout->lineRect(line);
        Rect first = bounds(*layout, range->location, 1);
        EXPECT_EQ(first.minY(), lineRect.minY());
        EXPECT_LE(lineRect.maxX(), 200.5);
        if (line > 0) {
            EXPECT_NEAR(layout->lineRect(line - 1)->maxY(), lineRect.minY(), 0.01);
        }
        expectedStart = range->location + range->length;
    }
    EXPECT_EQ(expectedStart, static_cast<int64_t>(layout->utf16Length()));
    EXPECT_FALSE(layout->rangeForLine(layout->lineCount()));

    // A range across two lines covers both lines' heights.
    auto second = *layout->rangeForLine(1);
    Rect across = bounds(*layout, second.location - 2, 4);
    EXPECT_NEAR(across.height(), layout->lineRect(0)->height() + layout->lineRect(1)->height(), 0.01);
}

TEST(SimTextLayout, LineBreaksBelongToTheLineTheyEnd)
{
    auto layout = lay("ab\ncd\n");
    ASSERT_EQ(layout->lineCount(), 3u);
    EXPECT_EQ(layout->rangeForLine(0), (AXRange { 0, 3 }));
    EXPECT_EQ(layout->rangeForLine(1), (AXRange { 3, 3 }));
    EXPECT_EQ(layout->rangeForLine(2), (AXRange { 6, 0 }));
    EXPECT_EQ(layout->lineForIndex(2), 0u);
    EXPECT_EQ(layout->lineForIndex(6), 2u);
    Rect newline = bounds(*layout, 2, 1);
    EXPECT_EQ(newline.width(), 0);
    EXPECT_NEAR(newline.minX(), bounds(*layout, 1, 1).maxX(), 0.01);
    // The caret after a trailing line break stands at the start of the empty last line.
    Rect caret = bounds(*layout, 6, 0);
    EXPECT_EQ(caret.width(), 0);
    EXPECT_EQ(caret.minY(), layout->lineRect(2)->minY());
}

TEST(SimTextLayout, PositionsFindTheCharacterWhoseBoundsHoldThem)
{
    const std::string text = "读书笔记 📚: keep a note — 写下一个词 e\u0301t\u00e9 🙂 and wrap it over lines.";
    auto layout = lay(text, 160);
    const auto count = static_cast<int64_t>(layout->utf16Length());
    for (int64_t i = 0; i < count; ++i) {
        const AXRange character = layout->characterRangeAt(static_cast<size_t>(i));
        Rect r = bounds(*layout, i, 1);
        if (r.width() == 0)
            continue;
        EXPECT_EQ(layout->rangeForPosition({ r.midX(), r.midY() }), character) << i;
    }
    // Beyond the text: the nearest Character on the nearest line.
    EXPECT_EQ(layout->rangeForPosition({ -50, -50 }), (AXRange { 0, 1 }));
    auto lastLine = *layout->rangeForLine(layout->lineCount() - 1);
    AXRange end = layout->rangeForPosition({ 1000, 10000 });
    EXPECT_EQ(end.location + end.length, lastLine.location + lastLine.length);
}

TEST(SimTextLayout, RefusesRangesOutsideTheTextAndReadsEmptyOrInvalidText)
{
    auto layout = lay("abcd");
    EXPECT_FALSE(layout->boundsForRange({ 3, 2 }));
    EXPECT_FALSE(layout->boundsForRange({ -1, 1 }));
    EXPECT_FALSE(layout->boundsForRange({ 0, -1 }));
    EXPECT_FALSE(layout->stringForRange({ 5, 0 }));
    EXPECT_TRUE(layout->boundsForRange({ 4, 0 }));
    EXPECT_EQ(layout->stringForRange({ 4, 0 }), "");
    EXPECT_FALSE(layout->lineForIndex(5));

    // Empty text has one line and a caret.
    auto empty = lay("");
    EXPECT_EQ(empty->utf16Length(), 0u);
    EXPECT_EQ(empty->lineCount(), 1u);
    Rect caret = bounds(*empty, 0, 0);
    EXPECT_EQ(caret.width(), 0);
    EXPECT_GT(caret.height(), 10);

    // Invalid UTF-8 reads as replacement characters.
    auto invalid = lay(std::string("a\xff\xfe" "b"));
    EXPECT_EQ(invalid->utf16Length(), 4u);
    EXPECT_EQ(SimTextLayout::utf16Length(std::string("a\xff\xfe" "b")), 4);
    EXPECT_EQ(invalid->stringForRange({ 1, 1 }), "\uFFFD");
}

TEST(SimTextLayout, VisibleLinesAreThoseOverlappingTheBand)
{
    auto layout = lay("one\ntwo\nthree\nfour");
    const double h = layout->lineRect(0)->height();
    EXPECT_EQ(layout->rangeOfLinesBetween(0, h), (AXRange { 0, 4 }));
    EXPECT_EQ(layout->rangeOfLinesBetween(h + 1, 2 * h + 1), (AXRange { 4, 10 }));
    EXPECT_EQ(layout->rangeOfLinesBetween(100 * h, 101 * h), (AXRange { 0, 0 }));
}

TEST(SimTextLayout, ParagraphsTooWideForPangosIntegersStillLayOut)
{
    struct Case {
        const char* name;
        size_t bytes;
        double width;
        double size;
    };
    const Case cases[] = {
        { "two megabytes on one line", 2'000'000, 0, 16 },
        { "large type wider than an int of Pango units, wrapped", 30'000, 4000, 200 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text;
        while (text.size() < c.bytes)
            text += "reading aloud";
        auto layout = lay(text, c.width, c.size);

        EXPECT_EQ(layout->lineCount() > 1, c.width > 0);
        if (c.width > 0) {
            EXPECT_LE(layout->size().width, c.width + 0.5);
        }
        const Rect lastLine = *layout->lineRect(layout->lineCount() - 1);
        const Rect last = bounds(*layout, static_cast<int64_t>(layout->utf16Length()) - 1, 1);
        EXPECT_GT(last.minX(), lastLine.minX());
        EXPECT_NEAR(last.maxX(), lastLine.maxX(), 4);
        EXPECT_EQ(last.minY(), lastLine.minY());
        EXPECT_NEAR(lastLine.maxY(), layout->size().height, 0.5);
        const Rect middle = bounds(*layout, static_cast<int64_t>(layout->utf16Length()) / 2, 1);
        EXPECT_GE(middle.minX(), 0);
        EXPECT_LE(middle.maxX(), layout->size().width + 4);
    }
}

} // namespace
} // namespace lorvantine
