#include "Documents/VisionOCR.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/RecognitionMatchers.h"
#include "Support/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;

// Pages 1280 points wide, so that 0.05 of the width is 64 points, 0.3 of it 384 and 0.7 of it 896.
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

    // `count` words in rows of two, left to right and top to bottom, the row pair starting at `x`.
    static std::vector<RecognizedWord> column(const std::string& name, int count, double x)
    {
        std::vector<RecognizedWord> words;
        for (int i = 0; i < count; ++i)
            words.push_back(word(name + std::to_string(i), x + 150 * (i % 2), 100 + 30 * (i / 2), 100, 20));
        return words;
    }

    // Words 8 points wide whose centres are the given x, all on one row.
    static std::vector<RecognizedWord> centredAt(const std::string& name, std::vector<double> centres)
    {
        std::vector<RecognizedWord> words;
        for (size_t i = 0; i < centres.size(); ++i)
            words.push_back(word(name + std::to_string(i), centres[i] - 4, 200, 8, 20));
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
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 24, 100), column("R", 4, 800)))),
              textsOf(acrossThePage(column("L", 24, 100), column("R", 4, 800))));
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 23, 100), column("R", 5, 800)))),
              textsOf(concat(column("L", 23, 100), column("R", 5, 800))));
    // 21 words: 4 is more than 21 / 7.
    EXPECT_EQ(textsOf(read(acrossThePage(column("L", 17, 100), column("R", 4, 800)))),
              textsOf(concat(column("L", 17, 100), column("R", 4, 800))));
}

// In these pages the engine reports the right-hand group first: two columns put the left one first.
TEST_F(VisionOCRReadingOrder, TheGapMustExceedAFiftiethOfTheWidth)
{
    auto left = centredAt("L", steps(500, 11, 10)); // centres 500 ... 600
    auto atLimit = centredAt("R", steps(664, 10, 10)); // gap of exactly 64
    auto beyond = centredAt("R", steps(665, 10, 10));

    EXPECT_EQ(textsOf(read(concat(atLimit, left))), textsOf(concat(atLimit, left)));
    EXPECT_EQ(textsOf(read(concat(beyond, left))), textsOf(concat(left, beyond)));
}

TEST_F(VisionOCRReadingOrder, TheSplitMustLieStrictlyBetweenThreeAndSevenTenthsOfTheWidth)
{
    struct Case {
        double lastLeft, firstRight;
        bool twoColumns;
    };
    for (Case c : {Case{350, 418, false}, Case{351, 419, true}, Case{862, 930, false}, Case{861, 929, true}}) {
        auto left = centredAt("L", steps(c.lastLeft - 50, 11, 5));
        auto right = centredAt("R", steps(c.firstRight, 10, 5));
        auto expected = c.twoColumns ? concat(left, right) : concat(right, left);
        EXPECT_EQ(textsOf(read(concat(right, left))), textsOf(expected)) << "split at " << (c.lastLeft + c.firstRight) / 2;
    }
}

TEST_F(VisionOCRReadingOrder, OfTwoEqualGapsTheLeftOneIsTheSplit)
{
    // Gaps of 350 at x = 305 (outside the middle band) and at x = 685 (inside it): the first counts.
    auto a = centredAt("A", steps(100, 7, 5)), b = centredAt("B", steps(480, 7, 5)), c = centredAt("C", steps(860, 7, 5));
    auto engine = concat(concat(c, b), a);
    EXPECT_EQ(textsOf(read(engine)), textsOf(engine));
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
