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

using ::testing::SizeIs;

// The text without white space: recognition writes a Chinese line as one run, and the page breaks
// its lines where it must.
std::string squeezed(const std::string& text) { return Text::joined(Text::splitOnWhitespace(text), ""); }
std::string squeezed(const std::vector<RecognizedWord>& words) { return Text::joined(textsOf(words), ""); }

std::vector<RecognizedWord> concat(std::vector<RecognizedWord> a, const std::vector<RecognizedWord>& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

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

                ASSERT_GE(words.size(), 21u) << "fewer words keep the engine's order without a look at columns";
                EXPECT_EQ(squeezed(words), squeezed(page.text)) << column << " points wide at x = " << left;
                EXPECT_FALSE(log.contains("双栏检测")) << column << " points wide at x = " << left;
                log.clear();
            }
        }
    }
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

// What an engine may make of two columns' lines: each column's lines apart, each screen line
// across the page as one line, or that with the right-hand half of every third line cut short.
enum class TwoColumnEngine { columnByColumn, acrossThePage, cutShort };

struct EngineReading {
    std::vector<std::vector<RecognizedWord>> lines;
    std::vector<RecognizedWord> document; // the words reported, in the document's order
};

EngineReading engineReading(TwoColumnEngine engine, const ProsePage& left, const ProsePage& right)
{
    if (engine == TwoColumnEngine::columnByColumn)
        return {columnByColumn(left, right), concat(left.words(), right.words())};
    ProsePage shown = right;
    if (engine == TwoColumnEngine::cutShort) {
        for (size_t i = 1; i < shown.lines.size(); i += 3)
            shown.lines[i].resize((shown.lines[i].size() + 1) / 2);
    }
    return {acrossThePage(left, shown), concat(left.words(), shown.words())};
}

TEST_F(RecognisedProsePages, TwoColumnsAreReadDownEachColumnWhateverTheEngineMakesOfTheirLines)
{
    struct Page {
        const std::string& left;
        const std::string& right;
        std::string family;
        double size, width, gutter;
    };
    const Page pages[] = {
        {prose::riverLeft, prose::riverRight, "DejaVu Serif", 16, 280, 36},
        {prose::marketLeftChinese, prose::marketRightChinese, "WenQuanYi Zen Hei", 16, 200, 24},
        // Eight and nine lines of Chinese: fewer runs than 21, but hundreds of words.
        {prose::marketLeftChinese, prose::marketRightChinese, "WenQuanYi Zen Hei", 16, 320, 30},
        // Two pages of dialogue side by side: most lines stop short of their column.
        {prose::harbourDialogueLeft, prose::harbourDialogueRight, "DejaVu Serif", 15, 280, 30},
        {prose::harbourDialogueLeft, prose::harbourDialogueRight, "DejaVu Serif", 13, 240, 30},
    };
    for (const Page& page : pages) {
        const auto o = options(page.family, page.size, page.width);
        const ProsePage left = ProsePage::laidOut(page.left, o, {120, 100});
        const ProsePage right = ProsePage::laidOut(page.right, o, {120 + page.width + page.gutter, 100});
        for (auto engine : {TwoColumnEngine::columnByColumn, TwoColumnEngine::acrossThePage, TwoColumnEngine::cutShort}) {
            const EngineReading reading = engineReading(engine, left, right);
            const std::string what = std::to_string(static_cast<int>(page.size)) + " pt in "
                + std::to_string(static_cast<int>(page.width)) + ", engine " + std::to_string(static_cast<int>(engine));

            auto words = read(reading.lines);

            EXPECT_EQ(squeezed(words), squeezed(reading.document)) << what;
            EXPECT_TRUE(log.contains("双栏检测")) << what;
            log.clear();
        }
    }
}

// A table's cells as the desktop draws them, each left-aligned in its column, rows 2 lines apart,
// maybe under a paragraph and over another.
struct TableOnPage {
    std::vector<std::vector<RecognizedWord>> above;
    std::vector<std::vector<ProsePage>> rows;
    std::vector<std::vector<RecognizedWord>> below;
    std::vector<std::vector<RecognizedWord>> rowByRow() const; // each row's cells left to right
    std::vector<std::vector<RecognizedWord>> columnByColumn() const; // each column's cells top to bottom
    std::vector<std::vector<RecognizedWord>> acrossThePage() const; // each screen line across the cells
    std::string text() const;
};

// Each column's cells are laid out `o.wrapWidth` wide, or as wide as `widths` says; a row is as
// tall as its tallest cell.
TableOnPage tableOnPage(const prose::Table& table, const std::vector<double>& columns, const TextImageRenderer::Options& o,
                        const std::string& before, const std::string& after, const std::vector<double>& widths = {})
{
    TableOnPage page;
    double top = 100;
    const auto paragraph = options("DejaVu Serif", 15, 560);
    if (!before.empty()) {
        const ProsePage laidOut = ProsePage::laidOut(before, paragraph, {columns[0], top});
        page.above = laidOut.lines;
        top = laidOut.textBounds().maxY() + o.fontSize;
    }
    for (const std::vector<std::string>& row : table) {
        page.rows.emplace_back();
        double runOn = 0;
        for (size_t c = 0; c < row.size(); ++c) {
            TextImageRenderer::Options cell = o;
            cell.wrapWidth = c < widths.size() ? widths[c] : o.wrapWidth;
            const ProsePage laidOut = ProsePage::laidOut(row[c], cell, {columns[c], top});
            if (laidOut.lines.size() > 1)
                runOn = std::max(runOn, laidOut.lines.back().front().screenRect.minY() - laidOut.lines.front().front().screenRect.minY());
            page.rows.back().push_back(laidOut);
        }
        top += 2 * o.fontSize + runOn;
    }
    if (!after.empty())
        page.below = ProsePage::laidOut(after, paragraph, {columns[0], top}).lines;
    return page;
}

std::vector<std::vector<RecognizedWord>> TableOnPage::rowByRow() const
{
    std::vector<std::vector<RecognizedWord>> lines = above;
    for (const std::vector<ProsePage>& row : rows) {
        for (const ProsePage& cell : row)
            lines.insert(lines.end(), cell.lines.begin(), cell.lines.end());
    }
    lines.insert(lines.end(), below.begin(), below.end());
    return lines;
}

std::vector<std::vector<RecognizedWord>> TableOnPage::columnByColumn() const
{
    std::vector<std::vector<RecognizedWord>> lines = above;
    for (size_t c = 0; c < rows.front().size(); ++c) {
        for (const std::vector<ProsePage>& row : rows)
            lines.insert(lines.end(), row[c].lines.begin(), row[c].lines.end());
    }
    lines.insert(lines.end(), below.begin(), below.end());
    return lines;
}

std::vector<std::vector<RecognizedWord>> TableOnPage::acrossThePage() const
{
    std::vector<std::vector<RecognizedWord>> lines = above;
    for (const std::vector<ProsePage>& row : rows) {
        for (size_t k = 0;; ++k) {
            std::vector<RecognizedWord> line;
            for (const ProsePage& cell : row) {
                if (k < cell.lines.size())
                    line.insert(line.end(), cell.lines[k].begin(), cell.lines[k].end());
            }
            if (line.empty())
                break;
            lines.push_back(std::move(line));
        }
    }
    lines.insert(lines.end(), below.begin(), below.end());
    return lines;
}

std::string TableOnPage::text() const
{
    std::vector<RecognizedWord> words;
    for (const auto& line : rowByRow())
        words.insert(words.end(), line.begin(), line.end());
    return squeezed(words);
}

TEST_F(RecognisedProsePages, ATableIsReadRowByRowHoweverTheEngineTakesItsColumns)
{
    struct Page {
        const prose::Table& table;
        std::vector<double> columns;
        std::string family;
        double size;
        std::string before = "", after = "";
        std::vector<double> widths = {};
    };
    const Page pages[] = {
        {prose::openDay, {140, 230, 560}, "DejaVu Sans", 14},
        {prose::ferryFares, {140, 400, 560}, "DejaVu Serif", 15},
        {prose::openDayChinese, {140, 240, 480}, "WenQuanYi Zen Hei", 16},
        // A guide's page: a paragraph, the table, and the next paragraph.
        {prose::ferryFares, {140, 400, 560}, "DejaVu Sans", 14, prose::ferry, prose::letterCame},
        // Cells that run onto further lines are heard whole, each before the cell beside it.
        {prose::hallBookings, {140, 240, 540}, "DejaVu Sans", 14, "", "", {90, 270, 90}},
        {prose::hallBookings, {140, 240, 540}, "DejaVu Serif", 16, prose::ferry, "", {90, 270, 90}},
        {prose::busTimes, {140, 270, 350, 430}, "DejaVu Sans", 14, "", "", {120, 70, 70, 250}},
    };
    for (const Page& page : pages) {
        const auto cells = options(page.family, page.size, 300);
        const TableOnPage table = tableOnPage(page.table, page.columns, cells, page.before, page.after, page.widths);

        EXPECT_EQ(squeezed(read(table.rowByRow())), table.text()) << page.table[0][0] << ", read row by row";
        EXPECT_EQ(squeezed(read(table.columnByColumn())), table.text()) << page.table[0][0] << ", read column by column";
        EXPECT_EQ(squeezed(read(table.acrossThePage())), table.text()) << page.table[0][0] << ", read across the page";
        EXPECT_FALSE(log.contains("双栏检测")) << page.table[0][0];
    }
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

// What a line-oriented engine reports for a newsletter page: the lines top to bottom across the
// page, the two columns' lines side by side.
TEST_F(RecognisedProsePages, ColumnsUnderAHeadlineAreReadWholeWithTheLinesAcrossThePageInPlace)
{
    struct Block {
        const std::string& text;
        double size;
    };
    const Block acrossAbove[] = {{prose::hallHeadline, 26}, {prose::hallStandfirst, 17}, {prose::hallByline, 14}};
    std::vector<ProsePage> blocks;
    double top = 96;
    for (const Block& block : acrossAbove) {
        const auto o = options("DejaVu Serif", block.size, 600);
        blocks.push_back(ProsePage::laidOut(block.text, o, {150, top - o.margin}));
        top = blocks.back().textBounds().maxY() + 12;
    }
    const auto column = options("DejaVu Serif", 15, 280);
    blocks.push_back(ProsePage::laidOut(prose::hallStory, column, {150, top - column.margin}));
    blocks.push_back(ProsePage::laidOut(prose::quizStory, column, {150 + 280 + 36, top - column.margin}));
    const ProsePage& left = blocks[3];
    const ProsePage& right = blocks[4];
    const auto small = options("DejaVu Serif", 13, 600);
    top = std::max(left.textBounds().maxY(), right.textBounds().maxY()) + 14;
    blocks.push_back(ProsePage::laidOut(prose::hallCaption, small, {150, top - small.margin}));
    const size_t across = blocks[0].lines.size() + blocks[1].lines.size() + blocks[2].lines.size() + blocks[5].lines.size();
    ASSERT_GT(across * 10, across + left.lines.size()) << "more than one line in ten crosses the gutter";

    std::vector<std::vector<RecognizedWord>> engine;
    for (size_t b = 0; b < 3; ++b)
        engine.insert(engine.end(), blocks[b].lines.begin(), blocks[b].lines.end());
    const auto side = acrossThePage(left, right);
    engine.insert(engine.end(), side.begin(), side.end());
    engine.insert(engine.end(), blocks[5].lines.begin(), blocks[5].lines.end());

    auto words = read(engine);

    std::string expected;
    for (const ProsePage& block : blocks)
        expected += squeezed(Text::joined(textsOf(block), " "));
    EXPECT_EQ(squeezed(words), expected);
    EXPECT_THAT(log.linesContaining("双栏检测"), SizeIs(1));

    // No paragraph holds words of both columns.
    auto inColumn = [](const OCRWordEntry& word, const ProsePage& page) {
        return page.textBounds().contains({word.screenRect.midX(), word.screenRect.midY()});
    };
    const auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, Rect(100, 78, 800, 542), 10);
    ASSERT_GE(paragraphs.size(), 2u);
    for (const ReadableParagraph& paragraph : paragraphs) {
        const auto& entries = *paragraph.ocrWordBboxes;
        const bool inLeft = std::any_of(entries.begin(), entries.end(), [&](const auto& w) { return inColumn(w, left); });
        const bool inRight = std::any_of(entries.begin(), entries.end(), [&](const auto& w) { return inColumn(w, right); });
        EXPECT_FALSE(inLeft && inRight) << paragraph.text;
    }
}

// Minutes of a meeting as a Word page shows them: numbered headings over their paragraphs, and the
// page number at the foot. Boxed around their ink, as an engine boxes words, the lines of a
// paragraph stand a few points apart and paragraphs farther.
TEST_F(RecognisedProsePages, ShortHeadingsAreReadAndThePageNumberIsNot)
{
    struct Block {
        std::string text;
        double size;
    };
    const Block blocks[] = {
        {"一、会议基本情况", 18},
        {"本次会议于 3 月 14 日下午在三楼会议室召开，由项目经理主持，研发、测试和运营三个小组共九人参加。"
         "会议回顾了上个月的工作，讨论了新版阅读器的发布计划。", 15},
        {"二、进度回顾", 18},
        {"新版阅读器已完成全部功能开发，测试组本周发现的十二个问题中已修复九个，其余三个预计下周三前关闭。"
         "朗读速度和高亮位置的问题已经在两台测试机上复现。", 15},
        {"四、待办事项", 18},
        {"运营组整理用户反馈并在周五前发给研发组，研发组在月底前提交性能优化方案，测试组补充横排和竖排文档的测试用例。", 15},
        {"- 2 -", 12},
    };
    std::vector<std::vector<RecognizedWord>> engine;
    std::vector<std::string> expected;
    double top = 100;
    for (const Block& block : blocks) {
        auto o = options("WenQuanYi Zen Hei", block.size, 360);
        const bool pageNumber = block.text == "- 2 -";
        const ProsePage page = ProsePage::laidOut(block.text, o, {pageNumber ? 320.0 : 160.0, top - o.margin},
                                                  ProsePage::Boxes::ink);
        engine.insert(engine.end(), page.lines.begin(), page.lines.end());
        top = page.textBounds().maxY() + 14;
        if (!pageNumber)
            expected.push_back(squeezed(block.text));
    }

    auto paragraphs = OCRParagraphBuilder::buildParagraphs(read(engine), Rect(100, 78, 800, 542), 10);

    std::vector<std::string> texts;
    for (const ReadableParagraph& paragraph : paragraphs)
        texts.push_back(squeezed(paragraph.text));
    EXPECT_EQ(texts, expected);
}

} // namespace
} // namespace lorvantine::testing
