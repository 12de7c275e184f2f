#include "Documents/VisionOCR.h"
#include "Recognition/OCRTestDesktop.h"
#include "Recognition/ProsePage.h"
#include "Recognition/ProseTexts.h"
#include "Recognition/ReadingOrderScore.h"
#include "Recognition/RecognitionMatchers.h"
#include "Recognition/SharedTesseract.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

namespace lorvantine::testing {
namespace {

// Pages as a reader's window shows them, drawn at the window's backing scale and read by real
// Tesseract through the program's own capture and reading order: what a person hears.
struct RenderedPage {
    enum class Kind { twoColumns, oneColumn, table };

    std::string name;
    Kind kind;
    double scale = 1;
    std::vector<ProsePage> blocks; // in the order they are read
    std::string text; // the document, in order
};

TextImageRenderer::Options textOptions(const std::string& family, double size, double width, double scale)
{
    TextImageRenderer::Options o;
    o.family = family;
    o.fontSize = size;
    o.wrapWidth = width;
    o.margin = 4; // drawn into the window's picture, a block's white would cover its neighbours' text
    o.scale = scale;
    return o;
}

const std::string chineseFont = "WenQuanYi Zen Hei";
const std::string bookFont = "DejaVu Serif";

// Two columns of `width` with `gutter` points between their texts, the first line at y = 100; a
// page number centred over the gutter above them when `pageNumber` is given.
RenderedPage twoColumnPage(std::string name, const std::string& left, const std::string& right, const std::string& family,
                           double size, double width, double gutter, double scale, const std::string& pageNumber = "")
{
    RenderedPage page{std::move(name), RenderedPage::Kind::twoColumns, scale, {}, {}};
    const double x = 160, top = 100;
    if (!pageNumber.empty()) {
        auto numbered = textOptions(family, size * 0.8, 100, scale);
        ProsePage number = ProsePage::laidOut(pageNumber, numbered, {0, 0});
        const Rect ink = number.textBounds();
        const double middle = x + width + gutter / 2;
        page.blocks.push_back(ProsePage::laidOut(pageNumber, numbered, {middle - ink.width() / 2 - ink.minX(), top - 28}));
    }
    const auto o = textOptions(family, size, width, scale);
    page.blocks.push_back(ProsePage::laidOut(left, o, {x - o.margin, top - o.margin}));
    page.blocks.push_back(ProsePage::laidOut(right, o, {x + width + gutter - o.margin, top - o.margin}));
    page.text = pageNumber + left + right;
    return page;
}

RenderedPage oneColumnPage(std::string name, const std::string& text, const std::string& family, double size, double width,
                           double x, double scale)
{
    const auto o = textOptions(family, size, width, scale);
    return {std::move(name), RenderedPage::Kind::oneColumn, scale, {ProsePage::laidOut(text, o, {x, 96})}, text};
}

// Each cell left-aligned in its column, the rows two lines apart.
RenderedPage tablePage(std::string name, const prose::Table& rows, const std::vector<double>& columns, const std::string& family,
                       double size, double scale)
{
    RenderedPage page{std::move(name), RenderedPage::Kind::table, scale, {}, {}};
    const auto o = textOptions(family, size, 300, scale);
    double top = 100;
    for (const std::vector<std::string>& row : rows) {
        for (size_t c = 0; c < row.size(); ++c) {
            page.blocks.push_back(ProsePage::laidOut(row[c], o, {columns[c] - o.margin, top - o.margin}));
            page.text += row[c];
        }
        top += 2 * size;
    }
    return page;
}

// A reader's window of 800 × 600 points showing the page, recognised below its toolbar.
std::vector<RecognizedWord> readRendered(const RenderedPage& page)
{
    const Rect frame(100, 50, 800, 600);
    OCRTestDesktop desktop;
    desktop.useRecognizer(sharedTesseract());
    AXElement window = desktop.addWindow(42, 7, frame, page.scale);
    std::vector<const ProsePage*> drawn;
    for (const ProsePage& block : page.blocks)
        drawn.push_back(&block);
    desktop.capture().setPicture(7, pictureOf(drawn, frame.origin, frame.size, page.scale));
    auto words = VisionOCR::recognizeWords(Rect(100, 78, 800, 542), window);
    EXPECT_TRUE(words) << page.name;
    return words.value_or(std::vector<RecognizedWord>());
}

// Columns of 200 points hold twelve Chinese characters a line at 16 points. At 17 points Tesseract
// takes each left line and the right one level with it for one line across a gutter of 24, boxes
// some of them taller than a line and reads marks in the blank between them; at 14 points it
// joins English lines over such a gutter, a mark or two in the blank taken into a word.
TEST(TesseractPageOrder, ColumnsAreReadDownEachColumnAndTablesRowByRowTheOneColumnPagesAsOne)
{
    const std::string &left = prose::marketLeftChinese, &right = prose::marketRightChinese;
    using prose::riverLeft, prose::riverRight;
    const RenderedPage pages[] = {
        twoColumnPage("Chinese, 16 pt, gutter 36", left, right, chineseFont, 16, 200, 36, 1),
        twoColumnPage("Chinese, 17 pt, gutter 24, lines joined", left, right, chineseFont, 17, 200, 24, 1),
        twoColumnPage("Chinese at 2x, 16 pt, gutter 30, numbered", left, right, chineseFont, 16, 240, 30, 2, "- 12 -"),
        twoColumnPage("English, 14 pt, gutter 24, lines joined", riverLeft, riverRight, bookFont, 14, 280, 24, 1),
        twoColumnPage("English at 2x, 16 pt, gutter 30, numbered", riverLeft, riverRight, bookFont, 16, 240, 30, 2, "12"),
        oneColumnPage("English at 2x, one column", prose::ledger, bookFont, 16, 480, 220, 2),
        tablePage("Open day", prose::openDay, {140, 230, 560}, "DejaVu Sans", 14, 1),
        tablePage("Ferry fares at 2x", prose::ferryFares, {140, 400, 560}, "DejaVu Sans", 14, 2),
        tablePage("Open day in Chinese", prose::openDayChinese, {140, 240, 480}, chineseFont, 16, 1),
    };
    for (const RenderedPage& page : pages) {
        Log::Capture log;

        const auto words = readRendered(page);

        const std::string reading = Text::joined(textsOf(words), " ");
        const double inOrder = charactersInOrder(reading, page.text);
        const bool tookColumns = log.contains("双栏检测");
        switch (page.kind) {
        case RenderedPage::Kind::twoColumns:
            EXPECT_GE(inOrder, 0.85) << page.name << ": " << reading;
            break;
        case RenderedPage::Kind::oneColumn:
            EXPECT_GE(inOrder, 0.95) << page.name << ": " << reading;
            EXPECT_FALSE(tookColumns) << page.name;
            break;
        case RenderedPage::Kind::table:
            EXPECT_GE(inOrder, 0.9) << page.name << ": " << reading;
            EXPECT_FALSE(tookColumns) << page.name;
            break;
        }
    }
}

} // namespace
} // namespace lorvantine::testing
