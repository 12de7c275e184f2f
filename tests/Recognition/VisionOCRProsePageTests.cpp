#include "Documents/OCRParagraphBuilder.h"
#include "Documents/VisionOCR.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/ProsePage.h"
#include "Recognition/ProseTexts.h"
#include "Recognition/RecognitionMatchers.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::SizeIs;

// The text without white space: recognition writes a Chinese line as one run, and the page breaks
// its lines where it must.
std::string squeezed(const std::string& text) { return Text::joined(Text::splitOnWhitespace(text), ""); }
std::string squeezed(const std::vector<RecognizedWord>& words) { return Text::joined(textsOf(words), ""); }

TextImageRenderer::Options options(const std::string& family, double size, double wrapWidth)
{
    TextImageRenderer::Options o;
    o.family = family;
    o.fontSize = size;
    o.wrapWidth = wrapWidth;
    return o;
}

// A reader's window of 800 × 600 points whose page area below the toolbar is recognised; the
// desktop-truth engine reports the lines it is given, in that order.
class RecognisedProsePages : public ::testing::Test {
protected:
    RecognisedProsePages() { element = desktop.addWindow(42, 7, window); }

    std::vector<RecognizedWord> read(std::vector<std::vector<RecognizedWord>> engineLines)
    {
        desktop.setText(7, std::move(engineLines));
        auto words = VisionOCR::recognizeWords(Rect(100, 78, 800, 542), element);
        EXPECT_TRUE(words);
        return words.value_or(std::vector<RecognizedWord>());
    }

    const Rect window{100, 50, 800, 600};
    OCRTestDesktop desktop;
    AXElement element;
    Log::Capture log;
};

TEST_F(RecognisedProsePages, APageOfOneColumnNarrowerThanTheWindowIsReadLineByLine)
{
    struct Page {
        const std::string& text;
        std::string family;
        double size;
        std::vector<double> columns; // widths at which it takes three to six lines
    };
    const Page pages[] = {
        {prose::letterCame, "DejaVu Serif", 20, {360, 400, 420, 440, 480}},
        {prose::ferry, "DejaVu Serif", 18, {400, 440, 480, 520}},
        {prose::ledger, "DejaVu Sans", 14, {460, 500, 540, 580}},
        {prose::oldManChinese, "WenQuanYi Zen Hei", 18, {360, 400, 440, 480}},
        {prose::harbourChinese, "WenQuanYi Zen Hei", 20, {360, 400, 440, 480}},
    };
    for (const Page& page : pages) {
        for (double column : page.columns) {
            for (double left : {120.0, 220.0, 320.0}) {
                if (left + column + 48 > window.maxX())
                    continue;
                const ProsePage laidOut = ProsePage::laidOut(page.text, options(page.family, page.size, column), {left, 100});
                ASSERT_GE(laidOut.lines.size(), 3u) << page.text;
                ASSERT_LE(laidOut.lines.size(), 6u) << page.text << " in " << column;

                auto words = read(laidOut.lines);

                EXPECT_EQ(squeezed(words), squeezed(page.text)) << column << " points wide at x = " << left;
                EXPECT_FALSE(log.contains("双栏检测")) << column << " points wide at x = " << left;
                log.clear();
            }
        }
    }
}

TEST_F(RecognisedProsePages, TheRuleForColumnsIsTriedOnThesePages)
{
    // Pages under 21 words keep the engine's order without a look at columns.
    for (const std::string& text : {prose::letterCame, prose::ferry, prose::ledger, prose::oldManChinese})
        EXPECT_GE(read(ProsePage::laidOut(text, options("DejaVu Serif", 18, 420), {200, 100}).lines).size(), 21u) << text;
}

TEST_F(RecognisedProsePages, APageOfTwoColumnsIsReadColumnByColumn)
{
    // Columns of 280 points with a gutter of 36 between their texts.
    const auto english = options("DejaVu Serif", 16, 280);
    const ProsePage left = ProsePage::laidOut(prose::riverLeft, english, {160, 100});
    const ProsePage right = ProsePage::laidOut(prose::riverRight, english, {160 + 280 + 36, 100});
    ASSERT_EQ(left.lines.size(), right.lines.size());
    const std::string expected = squeezed(prose::riverLeft) + squeezed(prose::riverRight);

    EXPECT_EQ(squeezed(read(acrossThePage(left, right))), expected) << "an engine reading straight across";
    EXPECT_EQ(squeezed(read(columnByColumn(left, right))), expected) << "an engine reading each column";
    EXPECT_THAT(log.linesContaining("双栏检测"), SizeIs(2));

    log.clear();
    const auto chinese = options("WenQuanYi Zen Hei", 16, 200);
    const ProsePage leftChinese = ProsePage::laidOut(prose::marketLeftChinese, chinese, {160, 100});
    const ProsePage rightChinese = ProsePage::laidOut(prose::marketRightChinese, chinese, {160 + 200 + 36, 100});
    EXPECT_EQ(squeezed(read(columnByColumn(leftChinese, rightChinese))),
              squeezed(prose::marketLeftChinese) + squeezed(prose::marketRightChinese));
    EXPECT_THAT(log.linesContaining("双栏检测"), SizeIs(1));
}


TEST_F(RecognisedProsePages, AColumnStartingJustBelowTheLastLineOfTheOneBeforeIsAParagraphOfItsOwn)
{
    // The left column ends with a short paragraph; the right one starts lower, its first line 4
    // points below the left one's last line.
    const auto english = options("DejaVu Serif", 16, 280);
    const ProsePage left = ProsePage::laidOut(prose::millerEnd, english, {160, 300});
    const double rightTop = left.textBounds().maxY() + 4;
    const ProsePage right = ProsePage::laidOut(prose::fourthMorning, english, {476, rightTop - english.margin});
    ASSERT_NEAR(right.textBounds().minY(), rightTop, 1e-9);

    auto words = read(columnByColumn(left, right));
    auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, Rect(100, 78, 800, 542), 10);

    ASSERT_THAT(paragraphs, SizeIs(2));
    EXPECT_EQ(paragraphs[0].text, Text::joined(textsOf(left), " "));
    EXPECT_EQ(paragraphs[1].text, Text::joined(textsOf(right), " "));
    EXPECT_THAT(paragraphs[0].frame, RectNear(left.textBounds(), 1e-9)) << "the mark stays in its column";
    EXPECT_THAT(paragraphs[1].frame, RectNear(right.textBounds(), 1e-9));
}

} // namespace
} // namespace lorvantine::testing
