#include "Documents/VisionOCR.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/RecognitionMatchers.h"
#include "Support/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;

// Pages 1280 points wide, so that 0.3 of the width is 384 points and 0.7 of it 896.
class VisionOCRReadingOrder : public ::testing::Test {
protected:
    VisionOCRReadingOrder() { element = desktop.addWindow(42, 7, Rect(0, 0, 1280, 576)); }

    // The engine reports each word on a line of its own, in the order given.
    std::vector<RecognizedWord> read(const std::vector<RecognizedWord>& engineOrder)
    {
        std::vector<std::vector<RecognizedWord>> lines;
        for (const RecognizedWord& w : engineOrder)
            lines.push_back({w});
        desktop.setText(7, lines);
        auto words = VisionOCR::recognizeWords(Rect(0, 64, 1280, 512), element);
        EXPECT_TRUE(words);
        return words.value_or(std::vector<RecognizedWord>());
    }

    // `count` words in rows of `perRow` (one or two) 30 points apart, left to right and top to
    // bottom, the row starting at `x`, the first at `top`. A row of two is a line of prose 250
    // points long, its words a space apart; a row of one is 100 points long.
    static std::vector<RecognizedWord> column(const std::string& name, int count, double x, int perRow = 2, double top = 100)
    {
        std::vector<RecognizedWord> words;
        for (int i = 0; i < count; ++i) {
            const bool endsRow = i % perRow == perRow - 1 || i + 1 == count;
            words.push_back(word(name + std::to_string(i), x + 150 * (i % perRow), top + 30 * (i / perRow), endsRow ? 100 : 145, 20));
        }
        return words;
    }

    // Four lines 30 points apart of words 8 points wide and 20 high whose centres are the given x:
    // so close together that each line runs on as a line of prose does.
    static std::vector<RecognizedWord> centredAt(const std::string& name, std::vector<double> centres)
    {
        std::vector<RecognizedWord> words;
        for (int line = 0; line < 4; ++line) {
            for (size_t i = 0; i < centres.size(); ++i)
                words.push_back(word(name + std::to_string(line) + "." + std::to_string(i), centres[i] - 4, 200 + 30 * line, 8, 20));
        }
        return words;
    }

    // Words as a column is read: top to bottom, each row left to right.
    static std::vector<RecognizedWord> sortedByRows(std::vector<RecognizedWord> words)
    {
        std::stable_sort(words.begin(), words.end(), [](const RecognizedWord& a, const RecognizedWord& b) {
            return a.screenRect.minY() != b.screenRect.minY() ? a.screenRect.minY() < b.screenRect.minY()
                                                              : a.screenRect.minX() < b.screenRect.minX();
        });
        return words;
    }
    static std::vector<double> steps(double from, int count, double step)
    {
        std::vector<double> values;
        for (int i = 0; i < count; ++i)
            values.push_back(from + step * i);
        return values;
    }

    static std::vector<RecognizedWord> concat(std::vector<RecognizedWord> a, const std::vector<RecognizedWord>& b)
    {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    }

    // Rows of the two columns interleaved, as an engine reading straight across the page would.
    static std::vector<RecognizedWord> acrossThePage(const std::vector<RecognizedWord>& left,
                                                     const std::vector<RecognizedWord>& right)
    {
        std::vector<RecognizedWord> out;
        for (size_t i = 0; i < std::max(left.size(), right.size()); i += 2) {
            for (size_t k = i; k < i + 2; ++k) {
                if (k < left.size())
                    out.push_back(left[k]);
            }
            for (size_t k = i; k < i + 2; ++k) {
                if (k < right.size())
                    out.push_back(right[k]);
            }
        }
        return out;
    }

    OCRTestDesktop desktop;
    AXElement element;
    Log::Capture log;
};

TEST_F(VisionOCRReadingOrder, TwoColumnsAreReadColumnByColumnFromTwentyOneWords)
{
    auto twenty = acrossThePage(column("L", 10, 100), column("R", 10, 800));
    EXPECT_EQ(textsOf(read(twenty)), textsOf(twenty));
    EXPECT_FALSE(log.contains("双栏检测"));

    auto left = column("L", 11, 100), right = column("R", 10, 800);
    EXPECT_EQ(textsOf(read(acrossThePage(left, right))), textsOf(concat(left, right)));
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=572pt at x=575, left=11 right=10"));
}

TEST_F(VisionOCRReadingOrder, ASingleColumnKeepsTheEnginesOrder)
{
    std::vector<RecognizedWord> page;
    for (int i = 0; i < 30; ++i)
        page.push_back(word(std::string("w").append(std::to_string(i)), 100 + 90 * (i % 8), 400 - 10 * (i / 8), 80, 20));
    EXPECT_EQ(textsOf(read(page)), textsOf(page));
}

TEST_F(VisionOCRReadingOrder, EachColumnNeedsMoreThanASeventhOfTheWords)
{
    // 28 words: a column of 4 is not more than 28 / 7.
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 24, 100), column("R", 4, 800, 1)))),
              textsOf(acrossThePage(column("L", 24, 100), column("R", 4, 800, 1))));
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 23, 100), column("R", 5, 800)))),
              textsOf(concat(column("L", 23, 100), column("R", 5, 800))));
    // 21 words: 4 is more than 21 / 7.
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 17, 100), column("R", 4, 800, 1)))),
              textsOf(concat(column("L", 17, 100), column("R", 4, 800, 1))));
}

TEST_F(VisionOCRReadingOrder, AColumnNeedsSeveralLines)
{
    // The same 21 words, the right-hand four on two lines: a pair of short lines is no column.
    auto engine = acrossThePage(column("L", 17, 100), column("R", 4, 800));
    EXPECT_EQ(textsOf(read(engine)), textsOf(engine));
    EXPECT_FALSE(log.contains("双栏检测"));
    // Three lines are enough.
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 16, 100), column("R", 5, 800)))),
              textsOf(concat(column("L", 16, 100), column("R", 5, 800))));
}

// In these pages the engine reports the right-hand group first: two columns put the left one first.
TEST_F(VisionOCRReadingOrder, TheGutterMustBeWiderThanFourFifthsOfALine)
{
    // Words 20 high: the gutter between the groups must be wider than 16 points.
    auto left = centredAt("L", steps(500, 11, 10)); // centres 500 ... 600, right edge 604
    auto atLimit = centredAt("R", steps(624, 10, 10)); // left edge 620
    auto beyond = centredAt("R", steps(624.5, 10, 10));

    EXPECT_EQ(textsOf(read(concat(atLimit, left))), textsOf(concat(atLimit, left)));
    EXPECT_EQ(textsOf(read(concat(beyond, left))), textsOf(concat(sortedByRows(left), sortedByRows(beyond))));
}

TEST_F(VisionOCRReadingOrder, NearlyEveryLineBesideTheColumnsMustLeaveTheGutterEmpty)
{
    // Ten lines beside the gutter, the fourth with a long word in it: one line in ten may cross
    // it. The word's centre lies on the split, so it goes with the right-hand column.
    auto left = column("L", 20, 100), right = column("R", 20, 800);
    auto engine = acrossThePage(left, right);
    engine.push_back(word("long", 360, 190, 430, 20));
    right.insert(right.begin() + 6, engine.back());
    EXPECT_EQ(textsOf(read(engine)), textsOf(concat(left, right)));
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=275pt at x=575, left=20 right=21"));

    // A second one is one too many.
    log.clear();
    engine.push_back(word("longer", 360, 280, 430, 20));
    EXPECT_EQ(textsOf(read(engine)), textsOf(engine));
    EXPECT_FALSE(log.contains("双栏检测"));
}

TEST_F(VisionOCRReadingOrder, LinesAcrossThePageAboveAndBelowTheColumnsAreReadInPlaceAndEachColumnWhole)
{
    // A headline, a standfirst of two lines and a byline across the page, the columns' nine lines,
    // then a footer and a caption across the page: six lines in fifteen cross the gutter.
    const std::vector<RecognizedWord> above{word("headline", 200, 80, 800, 30), word("standfirst", 100, 120, 1000),
                                            word("continued", 100, 145, 900), word("byline", 100, 170, 700)};
    const auto left = column("L", 18, 100, 2, 210), right = column("R", 18, 800, 2, 210);
    const std::vector<RecognizedWord> below{word("footer", 100, 490, 1000), word("caption", 300, 520, 600)};

    auto words = read(concat(concat(above, acrossThePage(left, right)), below));

    EXPECT_EQ(textsOf(words), textsOf(concat(concat(above, concat(left, right)), below)));
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=572pt at x=575, left=18 right=18"));

    // Over the columns only, or under them only, just the same.
    log.clear();
    EXPECT_EQ(textsOf(read(concat(above, acrossThePage(left, right)))), textsOf(concat(above, concat(left, right))));
    EXPECT_EQ(textsOf(read(concat(acrossThePage(left, right), below))), textsOf(concat(concat(left, right), below)));
    EXPECT_EQ(log.linesContaining("双栏检测").size(), 2u);
}

TEST_F(VisionOCRReadingOrder, AColumnsFirstLineReachingIntoTheGutterStaysInItsColumn)
{
    // Nine lines beside the gutter, the first reaching 30 points into it: the gutter is the rest.
    auto left = column("L", 18, 100), right = column("R", 18, 800);
    left[1].screenRect.size.width = 130;
    EXPECT_EQ(textsOf(read(acrossThePage(left, right))), textsOf(concat(left, right)));

    // Under a headline across the page just the same.
    const auto headline = word("headline", 200, 66, 800, 30);
    EXPECT_EQ(textsOf(read(concat({headline}, acrossThePage(left, right)))), textsOf(concat({headline}, concat(left, right))));
    EXPECT_EQ(log.linesContaining("双栏检测").size(), 2u);
}

TEST_F(VisionOCRReadingOrder, ABylineEndingInTheGutterLeavesTheColumnsTheirGutter)
{
    // A byline ends 10 points short of the right-hand column, and a column's line reaches 30 points
    // into the gutter: the gutter is the widest part of the space between the columns that only
    // one of them reaches into, and the byline is read before the columns.
    const auto headline = word("headline", 200, 80, 800, 30);
    const auto byline = word("byline", 100, 140, 690);
    auto left = column("L", 20, 100, 2, 180), right = column("R", 20, 800, 2, 180);
    left[3].screenRect.size.width = 130;

    auto words = read(concat({headline, byline}, acrossThePage(left, right)));

    EXPECT_EQ(textsOf(words), textsOf(concat({headline, byline}, concat(left, right))));
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=557pt at x=570, left=20 right=20"));
}

TEST_F(VisionOCRReadingOrder, APageNumberCentredOverTheGutterIsReadBeforeOrAfterBothColumnsNotInOne)
{
    // The gutter runs from 350 to 800 and is parted at its middle, x = 575. A page number over it
    // is read before both columns, one under it after both, wherever its middle falls.
    const auto left = column("L", 20, 100), right = column("R", 20, 800);
    struct Case {
        RecognizedWord number;
        bool above;
    };
    for (const Case& c : {Case{word("12", 565, 66, 20, 16), true}, Case{word("12", 575, 66, 20, 16), true},
                          Case{word("12", 555, 66, 20, 16), true}, Case{word("12", 565, 420, 20, 16), false}}) {
        const auto columns = concat(left, right);
        auto words = read(c.above ? concat({c.number}, acrossThePage(left, right)) : concat(acrossThePage(left, right), {c.number}));

        EXPECT_EQ(textsOf(words), textsOf(c.above ? concat({c.number}, columns) : concat(columns, {c.number})))
            << "the number's middle at " << c.number.screenRect.midX();
        EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=572pt at x=575, left=20 right=20"))
            << "the number's middle at " << c.number.screenRect.midX();
        log.clear();
    }
}

TEST_F(VisionOCRReadingOrder, ALineWithAWordBoxedTallerThanItsWordsStaysInTheColumns)
{
    // Columns 30 points apart. The engine boxed a word of the right-hand column's last line more
    // than twice as tall as it is (a quote mark taken with the line below): the line's two sides
    // are as far apart as any others', and each is read at the end of its column.
    const auto left = column("L", 18, 300);
    auto right = column("R", 18, 580);
    right.back().screenRect = Rect(right.back().screenRect.minX(), right.back().screenRect.minY() - 12, 100, 44);

    EXPECT_EQ(textsOf(read(acrossThePage(left, right))), textsOf(concat(left, right)));
    EXPECT_EQ(log.linesContaining("双栏检测").size(), 1u);
}

TEST_F(VisionOCRReadingOrder, LinesCrossingTheGutterAmongTheColumnsLinesKeepOnePage)
{
    // A list of contents: entries on the left, page numbers on the right, and every third entry
    // led to its number by dots across the gap.
    auto entries = column("E", 12, 100, 1, 100), numbers = column("N", 12, 800, 1, 100);
    std::vector<RecognizedWord> engine;
    for (size_t row = 0; row < entries.size(); ++row) {
        engine.push_back(entries[row]);
        if (row % 3 == 1)
            engine.push_back(word("……", 205, entries[row].screenRect.minY(), 590, 20));
        engine.push_back(numbers[row]);
    }
    EXPECT_EQ(textsOf(read(engine)), textsOf(engine));
    EXPECT_FALSE(log.contains("双栏检测"));
}

TEST_F(VisionOCRReadingOrder, TheSplitMustLieStrictlyBetweenThreeAndSevenTenthsOfTheWidth)
{
    // The split is the middle of the gutter, halfway between the groups' facing centres.
    struct Case {
        double lastLeft, firstRight;
        bool twoColumns;
    };
    for (Case c : {Case{350, 418, false}, Case{351, 419, true}, Case{862, 930, false}, Case{861, 929, true}}) {
        auto left = centredAt("L", steps(c.lastLeft - 50, 11, 5));
        auto right = centredAt("R", steps(c.firstRight, 10, 5));
        auto expected = c.twoColumns ? concat(sortedByRows(left), sortedByRows(right)) : concat(right, left);
        EXPECT_EQ(textsOf(read(concat(right, left))), textsOf(expected)) << "split at " << (c.lastLeft + c.firstRight) / 2;
    }
}

TEST_F(VisionOCRReadingOrder, ThreeStacksOfShortLinesSideBySideAreReadRowByRow)
{
    // Gutters of 342 at x = 305 (outside the middle band) and at x = 685 (inside it). Whichever is
    // taken, the lines on one side of it stand in two stacks that leave most of their side empty:
    // not a column of prose but a table's columns, read row by row as the engine reads them or not.
    auto a = centredAt("A", steps(100, 7, 5)), b = centredAt("B", steps(480, 7, 5)), c = centredAt("C", steps(860, 7, 5));
    EXPECT_EQ(textsOf(read(concat(concat(c, b), a))), textsOf(sortedByRows(concat(concat(a, b), c))));
    // Narrowed, the left one gives way to the right one.
    b = centredAt("B", steps(470, 7, 5));
    EXPECT_EQ(textsOf(read(concat(concat(c, b), a))), textsOf(sortedByRows(concat(concat(a, b), c))));
    EXPECT_FALSE(log.contains("双栏检测"));
}

TEST_F(VisionOCRReadingOrder, ColumnsAreSortedIntoLinesTopToBottomAndLeftToRight)
{
    // Within a column, words whose centres lie closer than 0.6 of the taller one's height share a line.
    auto left = column("L", 10, 100);
    auto right = column("R", 10, 800);
    auto tall = word("tall", 950, 390, 100, 20); // centre 400
    auto close = word("close", 800, 406.9, 100, 10); // centre 411.9: same line, so it comes first
    auto page = concat(acrossThePage(left, right), {tall, close});
    EXPECT_EQ(textsOf(read(page)), textsOf(concat(concat(left, right), {close, tall})));

    auto apart = word("apart", 800, 407, 100, 10); // centre 412: a line of its own, below
    page = concat(acrossThePage(left, right), {tall, apart});
    EXPECT_EQ(textsOf(read(page)), textsOf(concat(concat(left, right), {tall, apart})));
}

} // namespace
} // namespace lorvantine::testing
