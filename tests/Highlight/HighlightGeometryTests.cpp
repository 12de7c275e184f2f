#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Highlight/HighlightTestDesktop.h"

#include <gtest/gtest.h>

#include <map>

namespace lorvantine {
namespace {

using HighlightGeometry::LastInParagraph;
using test::expectNear;

class LineRectsTest : public test::HighlightDesktopTest {
protected:
    Rect bounds(const AXElement& el, int location, int length = 1)
    {
        auto r = AXReader::boundsForRange(el, location, length);
        EXPECT_TRUE(r) << location;
        return r.value_or(Rect());
    }

    // The first UTF-16 index of each layout line that [location, location + length) touches.
    std::vector<int> lineStarts(const AXElement& el, int location, int length)
    {
        std::vector<int> starts { location };
        for (int i = location + 1; i < location + length; ++i) {
            if (lineOf(el, i) != lineOf(el, i - 1))
                starts.push_back(i);
        }
        return starts;
    }

    // Checks the rectangles of a range over several lines against the element's own layout: one
    // per line, each from its line's first character; every line but the last reaching the
    // paragraph's right edge and down to the next line; the last ending at the range's last character.
    void expectLinesOfLayout(const std::vector<Rect>& rects, const AXElement& el, int location, int length,
                             const Rect& paraRect)
    {
        const std::vector<int> starts = lineStarts(el, location, length);
        ASSERT_EQ(rects.size(), starts.size());
        for (size_t k = 0; k < starts.size(); ++k) {
            const Rect first = bounds(el, starts[k]);
            EXPECT_NEAR(rects[k].minX(), first.minX(), 0.01) << "line " << k;
            EXPECT_NEAR(rects[k].minY(), first.minY(), 0.01) << "line " << k;
            if (k + 1 < starts.size()) {
                EXPECT_NEAR(rects[k].maxX(), paraRect.maxX(), 0.01) << "line " << k;
                EXPECT_NEAR(rects[k].maxY(), bounds(el, starts[k + 1]).minY(), 0.01) << "line " << k;
            } else {
                EXPECT_NEAR(rects[k].maxX(), bounds(el, location + length - 1).maxX(), 0.01);
            }
        }
    }
};

TEST_F(LineRectsTest, RangeOnOneLineIsOneRectangleMeasuredWithTwoProbes)
{
    const AXElement line = element("line");
    const Rect paraRect = frameOf("line");
    const int at = utf16Offset(line, "one word");

    probes->resetCounts();
    auto rects = HighlightGeometry::computeLineRects(line, at, 8, paraRect, LastInParagraph::no);
    EXPECT_EQ(probes->boundsCalls(), 2);
    ASSERT_EQ(rects.size(), 1u);
    // The whole words, as the element itself measures them.
    expectNear(rects[0], bounds(line, at, 8));
}

TEST_F(LineRectsTest, EmptyOrUnmeasurableRangesGiveNothing)
{
    const AXElement line = element("line");
    probes->resetCounts();
    EXPECT_TRUE(HighlightGeometry::computeLineRects(line, 3, 0, frameOf("line"), LastInParagraph::no).empty());
    EXPECT_EQ(probes->boundsCalls(), 0);

    const AXElement unmeasurable = element("unmeasurable");
    EXPECT_TRUE(HighlightGeometry::computeLineRects(unmeasurable, 0, 12, frameOf("unmeasurable"), LastInParagraph::no).empty());
    // Past the end of the text: the element refuses the range.
    EXPECT_TRUE(HighlightGeometry::computeLineRects(line, 500, 4, frameOf("line"), LastInParagraph::no).empty());
}

TEST_F(LineRectsTest, ShortRangesAreOneRectangleFromTheirFirstCharacter)
{
    const AXElement prose = element("prose");
    const Rect paraRect = frameOf("prose");
    // The last letter of the first line, the space the line wraps at, and the first letter of the second.
    int wrap = 1;
    while (lineOf(prose, wrap) == lineOf(prose, 0))
        ++wrap;
    ASSERT_EQ(lineOf(prose, wrap - 2), lineOf(prose, 0));
    const Rect first = bounds(prose, wrap - 2);

    probes->resetCounts();
    auto rects = HighlightGeometry::computeLineRects(prose, wrap - 2, 3, paraRect, LastInParagraph::no);
    EXPECT_EQ(probes->boundsCalls(), 1);
    ASSERT_EQ(rects.size(), 1u);
    expectNear(rects[0], Rect(first.minX(), first.minY(), std::min(first.width() * 3, paraRect.maxX() - first.minX()), first.height()));
}

TEST_F(LineRectsTest, WrappedRangeGivesOneRectanglePerLine)
{
    const AXElement prose = element("prose");
    const Rect paraRect = frameOf("prose");
    const int from = utf16Offset(prose, "jumps");
    const int to = utf16Offset(prose, "woods") + 5;
    ASSERT_GE(lineOf(prose, to - 1) - lineOf(prose, from), 2) << "the range must span three lines or more";

    probes->resetCounts();
    auto rects = HighlightGeometry::computeLineRects(prose, from, to - from, paraRect, LastInParagraph::no);
    expectLinesOfLayout(rects, prose, from, to - from, paraRect);
    // Scanning in steps of 8 and bisecting keeps the cost well under one probe per character.
    EXPECT_LT(probes->boundsCalls(), (to - from) / 2);
}

TEST_F(LineRectsTest, LinesEndedByLineBreaksAreFoundLikeWrappedOnes)
{
    const AXElement verse = element("verse");
    const Rect paraRect = frameOf("verse");
    const int length = static_cast<int>(Text::utf16Count(textOf(verse)));

    auto rects = HighlightGeometry::computeLineRects(verse, 0, length, paraRect, LastInParagraph::no);
    ASSERT_EQ(rects.size(), 4u);
    expectLinesOfLayout(rects, verse, 0, length, paraRect);
}

TEST_F(LineRectsTest, LinesOfDifferentHeightsKeepTheirOwnPitch)
{
    const AXElement mixed = element("mixed");
    const Rect paraRect = frameOf("mixed");
    const int length = static_cast<int>(Text::utf16Count(textOf(mixed)));
    const int chinese = utf16Offset(mixed, "中文");
    const int back = utf16Offset(mixed, "Back");
    const Rect latinChar = bounds(mixed, 0);
    const Rect chineseChar = bounds(mixed, chinese);
    ASSERT_GT(chineseChar.height(), latinChar.height()) << "the Chinese line must be the taller one";

    auto notLast = HighlightGeometry::computeLineRects(mixed, 0, length, paraRect, LastInParagraph::no);
    expectLinesOfLayout(notLast, mixed, 0, length, paraRect);
    ASSERT_EQ(notLast.size(), 3u);
    EXPECT_NEAR(notLast[0].height(), latinChar.height(), 0.01);
    EXPECT_NEAR(notLast[1].height(), chineseChar.height(), 0.01);
    EXPECT_NEAR(notLast[1].minY(), chineseChar.minY(), 0.01);
    EXPECT_NEAR(notLast[2].minY(), bounds(mixed, back).minY(), 0.01);

    // The last line of a paragraph reaches down to the paragraph's bottom edge.
    const Rect taller(paraRect.minX(), paraRect.minY(), paraRect.width(), paraRect.height() + 30);
    auto last = HighlightGeometry::computeLineRects(mixed, 0, length, taller, LastInParagraph::yes);
    ASSERT_EQ(last.size(), 3u);
    EXPECT_NEAR(last[2].maxY(), taller.maxY(), 0.01);
    EXPECT_LT(notLast[2].maxY(), taller.maxY() - 20);
}

TEST_F(LineRectsTest, GeometryThatDoesNotBelongToTheParagraphGivesTheParagraphRectangle)
{
    // The paragraph after nine blank lines lies more than four line heights below the first.
    const AXElement gap = element("gap");
    const Rect gapRect = frameOf("gap");
    const int length = static_cast<int>(Text::utf16Count(textOf(gap)));
    EXPECT_EQ(HighlightGeometry::computeLineRects(gap, 0, length, gapRect, LastInParagraph::no), std::vector<Rect> { gapRect });

    // Text found more than 20 points away from the paragraph it is said to belong to.
    const AXElement line = element("line");
    const Rect elsewhere = frameOf("line").insetBy(0, 0);
    const Rect below(elsewhere.minX(), elsewhere.maxY() + 25, elsewhere.width(), 40);
    EXPECT_EQ(HighlightGeometry::computeLineRects(line, 0, 10, below, LastInParagraph::no), std::vector<Rect> { below });
}

TEST_F(LineRectsTest, RectanglesAreCutToTheParagraph)
{
    const AXElement prose = element("prose");
    const Rect full = frameOf("prose");
    // A paragraph rectangle that ends halfway along the first line.
    const Rect narrow(full.minX(), full.minY(), full.width() / 2, full.height());
    auto rects = HighlightGeometry::computeLineRects(prose, 0, 9, narrow, LastInParagraph::no);
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_NEAR(rects[0].maxX(), std::min(narrow.maxX(), bounds(prose, 0, 9).maxX()), 0.01);
    for (const Rect& r : HighlightGeometry::computeLineRects(prose, 0, 60, narrow, LastInParagraph::yes))
        EXPECT_LE(r.maxX(), narrow.maxX() + 1e-9);
}

TEST_F(LineRectsTest, LineStartThatCannotBeMeasuredAgainEmptiesTheResult)
{
    const AXElement verse = element("verse");
    const Rect paraRect = frameOf("verse");
    const int length = static_cast<int>(Text::utf16Count(textOf(verse)));
    const int secondLine = utf16Offset(verse, "Violets");

    std::map<int64_t, int> calls;
    probes->boundsOverride = [&](const AXElement&, const AXRange& range, AXValue&) -> std::optional<AXError> {
        ++calls[range.location];
        return std::nullopt;
    };
    ASSERT_EQ(HighlightGeometry::computeLineRects(verse, 0, length, paraRect, LastInParagraph::no).size(), 4u);
    // The line start is measured last when the rectangles are built; fail only that probe.
    const int lastCall = calls[secondLine];
    int seen = 0;
    probes->boundsOverride = [&](const AXElement&, const AXRange& range, AXValue&) -> std::optional<AXError> {
        if (range.location == secondLine && ++seen == lastCall)
            return AXError::cannotComplete;
        return std::nullopt;
    };
    EXPECT_TRUE(HighlightGeometry::computeLineRects(verse, 0, length, paraRect, LastInParagraph::no).empty());
}

TEST(IndexMappingTest, MatchesCharactersGreedilyForwardAndStopsAtTheFirstMiss)
{
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("abc", "axbyc"), (std::vector<int> { 0, 2, 4 }));
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("abzc", "abc"), (std::vector<int> { 0, 1 }));
    EXPECT_TRUE(HighlightGeometry::buildIndexMapping("abc", "").empty());
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("aa", "a"), (std::vector<int> { 0 }));
    // Characters, not code units: a precomposed é equals e + U+0301; the emoji and the Chinese count one each.
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("caf\u00e9", "» cafe\u0301"), (std::vector<int> { 2, 3, 4, 5 }));
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("🍞面包", "x🍞y面包"), (std::vector<int> { 1, 3, 4 }));
    // A base letter alone is not the same Character as the letter with its mark.
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("e", "e\u0301"), std::vector<int> {});
    // A space the paragraph added where two pieces meet maps to nothing; one that stands for the
    // element's own white space (a line feed, say) maps to it.
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("floor before noon", "floorbefore noon"),
              (std::vector<int> { 0, 1, 2, 3, 4, -1, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15 }));
    EXPECT_EQ(HighlightGeometry::buildIndexMapping("ab cd", "ab\ncd"), (std::vector<int> { 0, 1, 2, 3, 4 }));
}

class StaticTextTest : public test::HighlightDesktopTest { };

TEST_F(StaticTextTest, CollectsNonEmptyStaticTextsInDocumentOrderLinksIncluded)
{
    std::vector<HighlightGeometry::StaticTextChild> found;
    HighlightGeometry::collectStaticTextChildren(element("blocks"), found);
    ASSERT_EQ(found.size(), 3u);
    EXPECT_EQ(found[0], (HighlightGeometry::StaticTextChild { element("block-a"), "First block. " }));
    EXPECT_EQ(found[1].text, "a link");
    EXPECT_EQ(found[2], (HighlightGeometry::StaticTextChild { element("block-b"), "Second block." }));
}

TEST_F(StaticTextTest, StopsBelowTwentyLevels)
{
    std::vector<AXElement> chain { desktop->addElement(element("window"), SimElement("AXGroup")) };
    for (int depth = 1; depth <= 20; ++depth)
        chain.push_back(desktop->addElement(chain.back(), SimElement("AXGroup")));
    desktop->addElement(chain.back(), SimElement("AXStaticText", "deep text"));

    // From the top of the chain the text lies at depth 21; from the next group down, at depth 20.
    std::vector<HighlightGeometry::StaticTextChild> found;
    HighlightGeometry::collectStaticTextChildren(chain[0], found);
    EXPECT_TRUE(found.empty());
    HighlightGeometry::collectStaticTextChildren(chain[1], found);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].text, "deep text");
}

} // namespace
} // namespace lorvantine
