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

    // `count` words in rows of `perRow` (one or two), left to right and top to bottom, the row
    // starting at `x`.
    static std::vector<RecognizedWord> column(const std::string& name, int count, double x, int perRow = 2)
    {
        std::vector<RecognizedWord> words;
        for (int i = 0; i < count; ++i)
            words.push_back(word(name + std::to_string(i), x + 150 * (i % perRow), 100 + 30 * (i / perRow), 100, 20));
        return words;
    }

    // Words 8 points wide and 20 high whose centres are the given x, dealt over four rows 30
    // points apart: each row leaves room between its words, the rows together cover the stretch.
    static std::vector<RecognizedWord> centredAt(const std::string& name, std::vector<double> centres)
    {
        std::vector<RecognizedWord> words;
        for (size_t i = 0; i < centres.size(); ++i)
            words.push_back(word(name + std::to_string(i), centres[i] - 4, 200 + 30 * static_cast<double>(i % 4), 8, 20));
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
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=550pt at x=575, left=11 right=10"));
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

TEST_F(VisionOCRReadingOrder, NearlyEveryLineMustLeaveTheGutterEmpty)
{
    // Ten lines, one of them a title across both columns: one line in ten may cross the gutter.
    auto left = column("L", 18, 100), right = column("R", 18, 800);
    auto title = word("title", 300, 60, 600, 20);
    auto engine = concat({title}, acrossThePage(left, right));
    auto columns = read(engine);
    ASSERT_EQ(columns.size(), engine.size());
    EXPECT_EQ(columns.front().text, "L0");
    EXPECT_EQ(columns[18].text, "title"); // its centre lies right of the split
    EXPECT_THAT(log.linesContaining("双栏检测"), ElementsAre("[VisionOCR] 双栏检测: gap=300pt at x=575, left=18 right=19"));

    // A footer across them too, among eleven lines, is one too many.
    log.clear();
    engine.push_back(word("footer", 300, 400, 600, 20));
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

TEST_F(VisionOCRReadingOrder, OfTwoEqualGuttersTheLeftOneIsTheSplit)
{
    // Gutters of 342 at x = 305 (outside the middle band) and at x = 685 (inside it): the first counts.
    auto a = centredAt("A", steps(100, 7, 5)), b = centredAt("B", steps(480, 7, 5)), c = centredAt("C", steps(860, 7, 5));
    auto engine = concat(concat(c, b), a);
    EXPECT_EQ(textsOf(read(engine)), textsOf(engine));
    EXPECT_FALSE(log.contains("双栏检测"));
    // Narrowed, the left one gives way to the right one.
    b = centredAt("B", steps(470, 7, 5));
    EXPECT_EQ(textsOf(read(concat(concat(c, b), a))), textsOf(concat(sortedByRows(concat(a, b)), sortedByRows(c))));
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
