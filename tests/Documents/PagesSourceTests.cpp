// Pages documents are read from their whole text, one paragraph per line, with only the lines of
// the page in view measured; the rest wait under a placeholder for the reading to scroll to them.

#include "Documents/DocumentSourceRegistry.h"
#include "Documents/NativeDocumentSession.h"
#include "Documents/OCRDocumentSession.h"
#include "Documents/PagesSource.h"

#include "Accessibility/AXReader.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/DesktopTest.h"
#include "TestSupport/PagesDocumentFixture.h"
#include "TestSupport/PrintedPageFixture.h"
#include "TestSupport/ProbeCountingAccessibility.h"

#include <gmock/gmock.h>

namespace lorvantine {
namespace {

using test::pagesDocumentFixture;
using test::pagesOfLines;
using test::ProbeCountingAccessibility;

constexpr const char* pagesID = "com.apple.iWork.Pages";

struct PagesDesktop {
    explicit PagesDesktop(const SimFixture& fixture)
        : desktop(SimDesktop::create(fixture))
    {
        auto [wrapped, port] = ProbeCountingAccessibility::wrap(desktop->services());
        probes = port;
        services.emplace(std::move(wrapped));
    }
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<ProbeCountingAccessibility> probes;
    std::optional<Platform::ScopedServices> services;
    Log::Capture log;
};

std::string numberedLine(int i) { return "Line " + std::to_string(i + 1) + " of the harbour log."; }

TEST(PagesSource, ReadsEveryLineOfTheDocumentAndMeasuresOnlyThePageInView)
{
    PagesDesktop d(fixtureNamed("pages-document.json"));
    auto session = PagesSource::detect(pagesID);
    ASSERT_TRUE(session);
    ASSERT_TRUE(dynamic_cast<NativeDocumentSession*>(session.get()));
    EXPECT_EQ(session->title(), "Harbour Log.pages");
    const auto paragraphs = session->paragraphs();
    // 200 lines, one of which holds only an inline object.
    ASSERT_EQ(paragraphs.size(), 199u);
    const AXElement firstPage = d.desktop->element("page-1-text");
    const std::string document = AXReader::attribute(firstPage, "AXValue").value_or("");
    const Rect area = *d.desktop->frameOf(firstPage);
    const Rect placeholder = PagesSource::placeholderFrame(area);
    EXPECT_EQ(placeholder, Rect(area.minX() + 50, area.maxY() + 200, area.width() - 100, 20));
    int measured = 0;
    double previousTop = 0;
    for (const ReadableParagraph& p : paragraphs) {
        SCOPED_TRACE(p.text);
        EXPECT_EQ(p.index, &p - paragraphs.data());
        EXPECT_EQ(p.role, "body");
        EXPECT_EQ(p.axElement, firstPage);
        ASSERT_TRUE(p.nativeCharOffset);
        EXPECT_EQ(Text::utf16Substring(document, *p.nativeCharOffset, Text::utf16Count(p.text)), p.text);
        if (p.boundsDisabled) {
            EXPECT_EQ(p.frame, placeholder);
            continue;
        }
        ++measured;
        EXPECT_EQ(p.frame.minX(), area.minX());
        EXPECT_EQ(p.frame.width(), area.width());
        EXPECT_GT(p.frame.minY(), previousTop);
        EXPECT_EQ(p.frame.minY(), AXReader::boundsForRange(firstPage, *p.nativeCharOffset, 1)->minY());
        previousTop = p.frame.minY();
    }
    // The first page's 17 lines less the picture's.
    EXPECT_EQ(measured, 16);
    EXPECT_TRUE(d.log.contains("[Pages] 全文模式: 199 段落, " + std::to_string(Text::utf16Count(document))
                               + " 字符 (当前页可见 16 段)"));
    // Chinese lines keep their own offsets; the toolbar's search field is never read.
    EXPECT_EQ(paragraphs[3].text, "第4行：雾从灰色的北海飘进来。");
    EXPECT_FALSE(d.log.contains("Search in this document"));
}

TEST(PagesSource, SplitsLinesAtTheirUtf16OffsetsSkippingBlankAndObjectOnlyLines)
{
    struct Case {
        std::string text;
        std::vector<std::pair<std::string, int>> paragraphs; // text, offset
    };
    const std::vector<Case> cases {
        { "Title\n\nBody text here", { { "Title", 0 }, { "Body text here", 7 } } },
        { "Before the picture\n \xEF\xBF\xBC\xEF\xBF\xBC \nAfter the picture", { { "Before the picture", 0 }, { "After the picture", 24 } } },
        { "Two pictures\n\xEF\xBF\xBC \xEF\xBF\xBC\nend", { { "Two pictures", 0 }, { "\xEF\xBF\xBC \xEF\xBF\xBC", 13 }, { "end", 17 } } },
        { "🌊 Tide tables\n  \nHigh water at noon", { { "🌊 Tide tables", 0 }, { "High water at noon", 18 } } },
        { "  Indented line  \nLast line\n", { { "  Indented line  ", 0 }, { "Last line", 18 } } },
        // A document that breaks its lines with CRLF: the carriage return is part of the break.
        { "Ropes creak against the old stone quay.\r\nGulls circle the market.\r\n\r\nEnd of the log",
          { { "Ropes creak against the old stone quay.", 0 }, { "Gulls circle the market.", 41 }, { "End of the log", 69 } } },
    };
    for (const Case& c : cases) {
        PagesDesktop d(pagesDocumentFixture({ c.text }));
        auto session = PagesSource::detect(pagesID);
        ASSERT_TRUE(session) << c.text;
        std::vector<std::pair<std::string, int>> got;
        for (const ReadableParagraph& p : session->paragraphs())
            got.emplace_back(p.text, p.nativeCharOffset.value_or(-1));
        EXPECT_EQ(got, c.paragraphs) << c.text;
        const auto* native = dynamic_cast<NativeDocumentSession*>(session.get());
        ASSERT_TRUE(native);
        EXPECT_EQ(native->lineMaps().front().front().charCount, static_cast<int>(Text::utf16Count(c.paragraphs.front().first)));
    }
}

TEST(PagesSource, StopsMeasuringAtTheFirstLineBeyondThePageInViewAndMeasuresPastAMissingOne)
{
    // 200 lines, 30 to a page: the first page's 30 are measured with two requests each, the 31st
    // is found beyond the page with one, and no request is made for the 169 after it.
    PagesDesktop d(pagesDocumentFixture(pagesOfLines(200, 30, numberedLine), 600));
    auto session = PagesSource::detect(pagesID);
    ASSERT_TRUE(session);
    EXPECT_EQ(d.probes->boundsCalls(), 61);
    const auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 200u);
    EXPECT_EQ(std::count_if(paragraphs.begin(), paragraphs.end(), [](const ReadableParagraph& p) { return p.boundsDisabled; }),
              170);
    EXPECT_TRUE(d.log.contains("[Pages] 全文模式: 200 段落, "));
    EXPECT_TRUE(d.log.contains(" (当前页可见 30 段)"));

    // A line whose first character has no bounds keeps the placeholder; the next is measured.
    d.probes->resetCounts();
    const int third = *paragraphs[2].nativeCharOffset;
    d.probes->boundsOverride = [third](const AXElement&, const AXRange& range, AXValue&) -> std::optional<AXError> {
        if (range.location == third)
            return AXError::cannotComplete;
        return std::nullopt;
    };
    const auto again = PagesSource::detect(pagesID)->paragraphs();
    EXPECT_TRUE(again[2].boundsDisabled);
    EXPECT_FALSE(again[3].boundsDisabled);
    EXPECT_TRUE(d.log.contains(" (当前页可见 29 段)"));
}

TEST(PagesSource, ADocumentScrolledAwayFromItsFirstPageIsReadWholeAndMeasuredOnThePageInView)
{
    PagesDesktop d(fixtureNamed("pages-document-scrolled.json"));
    auto session = PagesSource::detect(pagesID);
    // Two for each line of the page in view and one for the first line beyond it; none for the
    // lines before it.
    EXPECT_EQ(d.probes->boundsCalls(), 2 * 17 + 1);
    ASSERT_TRUE(session);
    ASSERT_TRUE(dynamic_cast<NativeDocumentSession*>(session.get()));
    const auto paragraphs = session->paragraphs();
    ASSERT_EQ(paragraphs.size(), 199u);
    EXPECT_EQ(paragraphs.front().text, "Line 1: Ropes creak against the old stone quay.");
    EXPECT_EQ(paragraphs.back().text, "第200行：海鸥在中午的集市上空盘旋。");
    const AXElement shownPage = d.desktop->element("page-3-text");
    const AXRange shown = *PagesSource::getVisibleRange(shownPage);
    const Rect placeholder = PagesSource::placeholderFrame(*d.desktop->frameOf(shownPage));
    std::vector<std::string> measured;
    for (const ReadableParagraph& p : paragraphs) {
        SCOPED_TRACE(p.text);
        EXPECT_EQ(p.axElement, shownPage);
        const int nco = *p.nativeCharOffset;
        EXPECT_EQ(p.boundsDisabled, nco < shown.location || nco >= shown.location + shown.length);
        if (p.boundsDisabled) {
            EXPECT_EQ(p.frame, placeholder);
            continue;
        }
        measured.push_back(p.text);
        EXPECT_EQ(p.frame.minY(), AXReader::boundsForRange(shownPage, nco, 1)->minY());
    }
    // Lines 35 to 51 are on the third page.
    ASSERT_EQ(measured.size(), 17u);
    EXPECT_EQ(measured.front(), "Line 35: Fog rolls in from the grey northern sea.");
    EXPECT_EQ(measured.back(), "Line 51: Ropes creak against the old stone quay.");
    EXPECT_TRUE(d.log.contains("[Pages] 全文模式: 199 段落, "));
    EXPECT_TRUE(d.log.contains(" (当前页可见 17 段)"));
}

TEST(PagesSource, FallsBackToRecognitionWhenTheTextCannotBeReadNatively)
{
    {
        // Ten characters are too few for a document; the window is recognised instead.
        PagesDesktop d(pagesDocumentFixture({ "Ten chars." }));
        auto session = PagesSource::detect(pagesID);
        EXPECT_TRUE(d.log.contains("[Pages] 未找到 AXTextArea，回退到 OCR"));
        ASSERT_TRUE(session);
        EXPECT_TRUE(dynamic_cast<OCRDocumentSession*>(session.get()));
    }
    {
        // Between two pages no line is in view; the recognition of the gap finds no text either.
        PagesDesktop d(pagesDocumentFixture(pagesOfLines(60, 20, numberedLine), 400, 1000));
        d.desktop->setScroll(d.desktop->element("pages-scroll"), Point { 0, 500 });
        EXPECT_FALSE(PagesSource::detect(pagesID));
        EXPECT_TRUE(d.log.contains("[Pages] 过滤后无段落，回退到 OCR"));
        EXPECT_TRUE(d.log.contains("[Pages] OCR 未识别到文字"));
    }
    {
        PagesDesktop d(pagesDocumentFixture({ "Some text long enough." }));
        d.desktop->setError(d.desktop->element("page-1-text"), "AXStringForRange", AXError::cannotComplete);
        PagesSource::detect(pagesID);
        EXPECT_TRUE(d.log.contains("[Pages] 读取全文失败，回退到 OCR"));
    }
}

TEST(PagesSource, RecognitionReadsOneWordLinesAndLeavesOutTheSceneBreakAndThePageNumber)
{
    // A story in a layout without a text area: a reply and a heading of one word each, a scene
    // break of three stars, the page's number at its foot.
    const SimElement page = test::printedPage(Rect(110, 110, 680, 660),
                                              { { 60, 30, "“Will you row me across?” the woman asked the ferryman," },
                                                { 60, 56, "holding out a coin she had kept in her glove all the way" },
                                                { 60, 82, "from the station, though the walk had been a long one" },
                                                { 60, 108, "and the wind off the water was cold." },
                                                { 60, 150, "“Yes.”" },
                                                { 60, 192, "He took the coin and untied the boat, and neither of them" },
                                                { 60, 218, "spoke again until they reached the far bank, where the" },
                                                { 60, 244, "heron stood in the reeds as it did on every crossing," },
                                                { 60, 270, "morning and evening, in all weathers." },
                                                { 300, 316, "* * *" },
                                                { 60, 362, "Morning" },
                                                { 60, 404, "The fog had lifted by seven, and the ferry was already" },
                                                { 60, 430, "on its second crossing when the school bell rang across" },
                                                { 60, 456, "the water and the first of the children came running" },
                                                { 60, 482, "down the lane with their satchels." },
                                                { 330, 620, "3" } });
    PagesDesktop d(test::printedPageFixture(720, pagesID, "Ferry.pages", Rect(100, 40, 900, 780), page));

    auto session = PagesSource::detect(pagesID);

    EXPECT_TRUE(d.log.contains("[Pages] 未找到 AXTextArea，回退到 OCR"));
    ASSERT_TRUE(session);
    std::vector<std::string> texts;
    for (const ReadableParagraph& paragraph : session->paragraphs())
        texts.push_back(paragraph.text);
    EXPECT_THAT(texts, ::testing::ElementsAre(::testing::StartsWith("“Will you row me across?”"), "“Yes.”",
                                              ::testing::StartsWith("He took the coin"), "Morning",
                                              ::testing::EndsWith("with their satchels.")));
}

TEST(PagesSource, FindsThePageInViewAndThePageHoldingAnOffset)
{
    // Three pages of 600 characters; the view shows the first and the top of the second.
    PagesDesktop d(pagesDocumentFixture(pagesOfLines(60, 20, [](int i) { return std::string(29, static_cast<char>('a' + i % 26)); }), 380));
    const AXElement window = d.desktop->windowElement(7100);
    const AXElement page1 = d.desktop->element("page-1-text");
    const AXElement page2 = d.desktop->element("page-2-text");
    EXPECT_EQ(PagesSource::getVisibleRange(page1), (AXRange { 0, 600 }));
    EXPECT_EQ(PagesSource::getVisibleRange(page2), (AXRange { 600, 600 }));
    EXPECT_EQ(PagesSource::getVisibleRange(d.desktop->element("page-3-text")), (AXRange { 1200, 0 }));
    EXPECT_EQ(PagesSource::findVisiblePageTextArea(window), page1) << "of equal lengths the first";
    struct Case {
        int nco;
        std::optional<AXElement> area;
    };
    for (const Case& c : { Case { 0, page1 }, Case { 599, page1 }, Case { 600, page2 }, Case { 1199, page2 }, Case { 1200, std::nullopt } })
        EXPECT_EQ(PagesSource::findTextAreaContaining(window, c.nco), c.area) << c.nco;

    // Scrolled to the second page's lower half: its top is far above the screen's, so the third
    // page below it is the one on screen, although both are in view.
    d.desktop->setScroll(d.desktop->element("pages-scroll"), Point { 0, 700 });
    EXPECT_EQ(PagesSource::getVisibleRange(page2), (AXRange { 600, 600 }));
    EXPECT_EQ(PagesSource::findVisiblePageTextArea(window), d.desktop->element("page-3-text"));
    EXPECT_EQ(PagesSource::findTextAreaContaining(window, 100), std::nullopt);
    EXPECT_EQ(PagesSource::searchForTextArea(window, 0, 10), page1) << "the search field in the toolbar is passed over";
}

TEST(PagesSource, PrefersThePageOnScreenOverALongerOneOffIt)
{
    auto fixture = pagesDocumentFixture({ std::string(499, 'a') + "\n", std::string(899, 'b') });
    // The second page stands far below the screen, yet in its window's view.
    auto& window = fixture.applications.front().windows.front();
    window.frame = Rect(120, 40, 900, 4000);
    auto& area = window.children[1];
    area.height = 3900;
    area.children[0].children[1].position = Point { 30, 1900 };
    PagesDesktop d(fixture);
    EXPECT_EQ(PagesSource::getVisibleRange(d.desktop->element("page-2-text"))->length, 899);
    EXPECT_EQ(PagesSource::findVisiblePageTextArea(d.desktop->windowElement(7100)), d.desktop->element("page-1-text"));
}

TEST(PagesSource, TheRegistryOffersPagesDocumentsToThePagesSource)
{
    PagesDesktop d(fixtureNamed("pages-document.json"));
    auto session = DocumentSourceRegistry::detect(pagesID);
    ASSERT_TRUE(session);
    EXPECT_EQ(session->paragraphs().size(), 199u);
}

} // namespace
} // namespace lorvantine
