// While a Pages document is read, the page holding the spoken line is brought into view (found by
// bisection on the scroll bar when it is not in view), its top put on the 30 % line, and the lines
// of the page in view measured again; a pass never outlives its reading.

#include "Reading/ReadingTestSupport.h"

#include "Accessibility/AXReader.h"
#include "Core/PagesBisection.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Documents/PagesSource.h"
#include "Overlay/HighlightView.h"
#include "TestSupport/PagesDocumentFixture.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

constexpr const char* pagesID = "com.apple.iWork.Pages";
// The window at y 40, 820 high: the band from 120 to 840, its 30 % line at 336.
constexpr double targetLine = 336;

class PagesScrollTest : public ReadingTest {
protected:
    void SetUp() override
    {
        ReadingTest::SetUp();
        // The start of a reading may wait on the main thread for Pages to scroll.
        clock->setMainThreadSleepsAdvance(true);
    }

    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::create(fixtureNamed("pages-document.json")); }

    void startPages()
    {
        auto session = PagesSource::detect(pagesID);
        ASSERT_TRUE(session);
        document.clear();
        for (const ReadableParagraph& p : session->paragraphs())
            document.push_back(p.toArticleParagraph());
        const size_t before = plays().size();
        reader->startReading(session->title(), session->windowElement(), document, pagesID);
        ASSERT_TRUE(advanceUntil([&] { return plays().size() > before; }));
        advance(0.5);
    }

    std::vector<double> barWrites()
    {
        const AXElement bar = desktop->element("pages-bar");
        std::vector<double> values;
        for (const SimJournalEntry& entry : desktop->journal())
            if (entry.kind == SimJournalEntry::Kind::setAttribute && entry.element == bar && entry.name == "AXValue")
                if (const double* v = axGet<double>(entry.value))
                    values.push_back(*v);
        return values;
    }

    // Where paragraph `index` is drawn now: its first character's top on the page that holds it.
    std::optional<double> drawnTop(size_t index)
    {
        const int nco = *document[index].nativeCharOffset;
        auto area = PagesSource::findTextAreaContaining(desktop->windowElement(7100), nco);
        if (!area)
            return std::nullopt;
        return AXReader::boundsForRange(*area, nco, 1)->minY();
    }

    // Seeks to `index` and lets the scroll that follows settle.
    void seekAndSettle(int index)
    {
        reader->seekToParagraph(index);
        const std::string moved = "[Pages] para[" + std::to_string(index) + "] frame y=";
        ASSERT_TRUE(advanceUntil([&] { return log.contains(moved); }, 30)) << index;
        advance(1);
    }

    // Seeks to `index` and waits until its pass must have begun (and so is held, when a read it
    // makes is being held).
    void holdPassFor(int index)
    {
        reader->seekToParagraph(index);
        const std::string started = std::to_string(index) + "/0";
        ASSERT_TRUE(advanceUntil([&] {
            const auto all = plays();
            return std::find(all.begin(), all.end(), started) != all.end();
        }, 20, 0.05));
        advance(0.5);
    }

    std::vector<ArticleParagraph> document;
};

TEST_F(PagesScrollTest, ALineOnThePageInViewIsMeasuredWithoutMovingTheBar)
{
    startPages();
    const int64_t perPage = PagesSource::getVisibleRange(desktop->element("page-1-text"))->length;
    EXPECT_TRUE(log.contains("[Pages] charsPerPage=" + std::to_string(perPage) + " (current view) visRange=[0.."
                             + std::to_string(perPage) + ")"));
    advance(2);
    EXPECT_TRUE(log.contains("[Pages] para[0] frame y="));
    const size_t lower = 12;
    reader->seekToParagraph(static_cast<int>(lower));
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Pages] para[12] frame y="); }, 20));
    advance(1);
    EXPECT_TRUE(barWrites().empty());
    const ArticleParagraph& measured = reader->paragraphs()[lower];
    EXPECT_FALSE(measured.boundsDisabled);
    EXPECT_EQ(measured.element, desktop->element("page-1-text"));
    EXPECT_DOUBLE_EQ(measured.frame.minY(), *drawnTop(lower));
}

TEST_F(PagesScrollTest, ALineOnAFarPageIsFoundAndPutOnTheThirtyPercentLineCalibratingOncePerReading)
{
    startPages();
    seekAndSettle(110);
    const double lineHeight = reader->paragraphs()[110].frame.height();
    ASSERT_GT(lineHeight, 10);
    EXPECT_NEAR(*drawnTop(110), targetLine, lineHeight);
    EXPECT_TRUE(log.contains("[Pages] ✓ found page (attempt "));
    EXPECT_EQ(logCount("[Pages] calibrated scrollableH="), 1u);
    // The reading now measures that page's lines, and the overlay marks the line where it stands.
    const auto& paragraphs = reader->paragraphs();
    EXPECT_FALSE(paragraphs[110].boundsDisabled);
    EXPECT_TRUE(paragraphs[0].boundsDisabled);
    const HighlightView* overlay = overlayOnScreen();
    ASSERT_TRUE(overlay);
    ASSERT_EQ(overlay->paragraphs().size(), document.size());
    EXPECT_NEAR(overlay->paragraphs()[110].minY(), *drawnTop(110), 0.5);

    // Further on, the calibrated height moves the bar in one computed step.
    seekAndSettle(170);
    EXPECT_NEAR(*drawnTop(170), targetLine, lineHeight);
    EXPECT_EQ(logCount("[Pages] calibrated scrollableH="), 1u);
    EXPECT_TRUE(log.contains("[Pages] scroll: para[170] y="));

    // Stopping forgets the calibration: the next reading, from the top again, makes its own.
    reader->stop();
    desktop->setScroll(desktop->element("pages-scroll"), Point {});
    startPages();
    seekAndSettle(60);
    EXPECT_EQ(logCount("[Pages] calibrated scrollableH="), 2u);
    EXPECT_NEAR(*drawnTop(60), targetLine, lineHeight);
}

TEST_F(PagesScrollTest, AScrollRefusedWhileOneRunsRunsWhenItEndsForTheLineStillSpoken)
{
    startPages();
    advance(1);
    // The next pass waits for the window's position, as with a busy application.
    accessibility->hold(desktop->windowElement(7100));
    holdPassFor(150);
    reader->seekToParagraph(151);
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Pages] skip scroll for para[151] — another scroll in progress"); }, 20, 0.05));
    // The listener skips on again before the page has come: only the line now spoken is owed.
    reader->seekToParagraph(152);
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Pages] skip scroll for para[152] — another scroll in progress"); }, 20, 0.05));
    accessibility->release();
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Pages] para[152] frame y="); }, 30));
    advance(1);
    EXPECT_EQ(logCount("[Pages] skip scroll for para["), 2u);
    EXPECT_EQ(logCount("[Pages] resume scroll for para[152]"), 1u);
    EXPECT_FALSE(log.contains("[Pages] resume scroll for para[151]"));
    // The held pass ended with its generation; the line spoken is in view and marked.
    EXPECT_FALSE(log.contains("[Pages] para[150] frame y="));
    EXPECT_FALSE(log.contains("[Pages] para[151] frame y="));
    const double lineHeight = reader->paragraphs()[152].frame.height();
    EXPECT_NEAR(*drawnTop(152), targetLine, lineHeight);
    EXPECT_FALSE(reader->paragraphs()[152].boundsDisabled);
    const HighlightView* overlay = overlayOnScreen();
    ASSERT_TRUE(overlay);
    EXPECT_NEAR(overlay->paragraphs()[152].minY(), *drawnTop(152), 0.5);
}

TEST_F(PagesScrollTest, AScrollOverlappingAStopAndANewReadingLeavesTheNewReadingAlone)
{
    startPages();
    advance(1);
    accessibility->hold(desktop->windowElement(7100));
    holdPassFor(150);
    ASSERT_TRUE(barWrites().empty());

    // Another reading of three lines, not of Pages, starts while the pass is held.
    reader->stop();
    std::vector<ArticleParagraph> next;
    for (int i = 0; i < 3; ++i) {
        ArticleParagraph p;
        p.index = i;
        p.text = "Another reading, line " + std::to_string(i + 1) + ".";
        p.frame = Rect(200, 200 + 30.0 * i, 400, 20);
        p.role = "AXStaticText";
        next.push_back(p);
    }
    reader->startReading("Other", desktop->windowElement(7100), next, "com.example.Notes");
    accessibility->release();
    advance(3);
    EXPECT_EQ(reader->paragraphs(), next);
    EXPECT_TRUE(barWrites().empty()) << "the old pass moved the bar under the new reading";
    EXPECT_FALSE(log.contains("[Pages] para[150] frame y="));
}

// Twelve pages of 1000 characters (the last one short of its final line break).
class EvenPagesScrollTest : public PagesScrollTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        return SimDesktop::create(
            pagesDocumentFixture(pagesOfLines(240, 20, [](int i) { return std::string(49, static_cast<char>('a' + i % 26)); }), 440));
    }
};

TEST_F(EvenPagesScrollTest, TheFirstGuessComesFromThePageNumber)
{
    startPages();
    EXPECT_TRUE(log.contains("[Pages] charsPerPage=1000 (current view) visRange=[0..1000)"));
    ASSERT_EQ(*document[100].nativeCharOffset, 5000);
    reader->seekToParagraph(100);
    ASSERT_TRUE(advanceUntil([&] { return !barWrites().empty(); }, 20, 0.05));
    EXPECT_DOUBLE_EQ(barWrites().front(), 5.0 / 11.0);
}

// Pages far apart: between two of them the view shows none.
class SparsePagesScrollTest : public PagesScrollTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        return SimDesktop::create(pagesDocumentFixture(pagesOfLines(60, 20, [](int i) { return "Sparse line " + std::to_string(i) + "."; }),
                                                       400, 1000));
    }
};

TEST_F(SparsePagesScrollTest, AReadingStartedBetweenTwoPagesGoesBackToTheTopToCountTheCharactersOfAPage)
{
    auto session = PagesSource::detect(pagesID);
    ASSERT_TRUE(session);
    for (const ReadableParagraph& p : session->paragraphs())
        document.push_back(p.toArticleParagraph());
    desktop->setScroll(desktop->element("pages-scroll"), Point { 0, 500 });
    ASSERT_FALSE(PagesSource::findTextAreaContaining(desktop->windowElement(7100), 0));
    reader->startReading(session->title(), session->windowElement(), document, pagesID);
    const int64_t perPage = PagesSource::getVisibleRange(desktop->element("page-1-text"))->length;
    EXPECT_TRUE(log.contains("[Pages] startup: scrollbar reset to 0 (fallback: 页间缝隙)"));
    EXPECT_TRUE(log.contains("[Pages] charsPerPage=" + std::to_string(perPage) + " (after reset) visRange=[0.." + std::to_string(perPage) + ")"));
    EXPECT_EQ(barWrites(), std::vector<double> { 0.0 });
}

TEST(PagesBisection, HalvesTowardThePageFromWhatTheViewShows)
{
    struct Look {
        std::optional<AXRange> visible; // none: a page transition
        double lo, hi;                  // the interval after it
    };
    struct Case {
        int nco, perPage, total;
        double guess;
        std::vector<Look> looks;
    };
    const std::vector<Case> cases {
        // 5000 of 12000, 1000 a page: page 5 of 11 steps. A page after it halves toward 0, one at
        // or before it toward 1.
        { 5000, 1000, 12000, 5.0 / 11, { { AXRange { 6000, 1000 }, 0, 5.0 / 11 }, { AXRange { 2000, 1000 }, 5.0 / 22, 5.0 / 11 } } },
        { 5000, 1000, 12000, 5.0 / 11, { { AXRange { 5000, 1000 }, 5.0 / 11, 1 } } },
        // During a transition the character's place in the text decides: 0.6 of the document.
        { 6000, 1000, 10000, 6.0 / 9, { { std::nullopt, 0, 6.0 / 9 }, { std::nullopt, 1.0 / 3, 6.0 / 9 } } },
        // A range of two characters is no page; one of three is, whatever it starts at.
        { 6000, 1000, 10000, 6.0 / 9, { { AXRange { 0, 2 }, 0, 6.0 / 9 } } },
        { 6000, 1000, 10000, 6.0 / 9, { { AXRange { 0, 3 }, 6.0 / 9, 1 } } },
        // Fewer than two pages still count one step; the guess never passes the end.
        { 900, 1000, 1500, 0, {} },
        { 3000, 1000, 2000, 1, {} },
    };
    for (const Case& c : cases) {
        PagesBisection b = PagesBisection::start(c.nco, c.perPage, c.total);
        EXPECT_DOUBLE_EQ(b.mid, c.guess) << c.nco << " of " << c.total;
        for (const Look& look : c.looks) {
            b.narrow(look.visible);
            EXPECT_DOUBLE_EQ(b.lo, look.lo) << c.nco;
            EXPECT_DOUBLE_EQ(b.hi, look.hi) << c.nco;
            EXPECT_DOUBLE_EQ(b.mid, (look.lo + look.hi) / 2);
        }
    }
    PagesBisection narrow = PagesBisection::start(10, 100, 1000);
    narrow.lo = 0.5;
    narrow.hi = 0.504;
    EXPECT_TRUE(narrow.isSettled());
}

} // namespace
} // namespace lorvantine::test
