// Word read from its picture, twice in turn: while the first reading plays the person drags the
// window, skips on to the last paragraph of the screen and hears the next screen begin, scrolls
// the document with the trackpad, stops, and drags the window onto the second display before
// reading again. The word marks of every screen stand on the words where the display shows them,
// whatever the screen or the reading before saw.

#include "Reading/ReadingTestSupport.h"

#include "CLI/CLIRouter.h"
#include "Documents/DocumentSession.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Overlay/HighlightView.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "TestSupport/DesktopTest.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

constexpr const char* wordID = "com.microsoft.Word";
constexpr ProcessID reportPid = 640;
constexpr uint32_t reportWindow = 6400;

class RecognisedWordMarksTest : public ReadingTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = fixtureNamed("word-report.json");
        // A second display of the same size to the right of the first.
        fixture.screens = { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 },
                            ScreenInfo { Rect(1440, 0, 1440, 900), Rect(1440, 0, 1440, 900), 2 } };
        return SimDesktop::create(fixture);
    }

    // Reads Word's front window as the read button does, and starts reading it, screen after screen.
    void readWord()
    {
        auto session = DocumentSourceRegistry::detect(wordID);
        ASSERT_TRUE(session);
        std::vector<ArticleParagraph> paragraphs;
        for (const ReadableParagraph& paragraph : session->paragraphs())
            paragraphs.push_back(paragraph.toArticleParagraph());
        ScreenTrail trail;
        paragraphs = CLIRouter::enrichSparseContent(wordID, std::move(paragraphs), &trail);
        reader->onNeedNextPage = CLIRouter::pageAdvance(wordID, reader, trail);
        reader->startReading(session->title(), session->windowElement(), std::move(paragraphs), wordID);
    }

    const std::vector<Rect>& wordMarks() const
    {
        static const std::vector<Rect> none;
        const HighlightView* view = overlayOnScreen();
        return view ? view->subHighlightRects() : none;
    }

    // Where Word draws its words now, by the desktop's own account of what it drew.
    std::vector<Rect> wordsAsDrawn() const
    {
        std::vector<Rect> boxes;
        auto picture = SimRenderer::renderWindow(*desktop, reportWindow, 1.0);
        if (!picture)
            return boxes;
        for (const auto& line : picture->lines)
            for (const auto& word : line.words)
                boxes.emplace_back(picture->area.minX() + word.box.minX(), picture->area.minY() + word.box.minY(),
                                   word.box.width(), word.box.height());
        return boxes;
    }

    // Every word mark covers whole words as Word draws them now, and the display `screen` shows it.
    void expectMarksOnTheWords(size_t screen, const std::string& when)
    {
        SCOPED_TRACE(when);
        ASSERT_TRUE(advanceUntil([&] { return !wordMarks().empty(); }, 20)) << "no word was marked";
        advance(0.1);
        const std::vector<Rect> marks = wordMarks();
        ASSERT_FALSE(marks.empty());
        const std::vector<Rect> drawn = wordsAsDrawn();
        auto picture = SimRenderer::renderScreen(*desktop, screen);
        ASSERT_TRUE(picture);
        for (const Rect& mark : marks) {
            // A word scrolled out of the window has no place and no mark.
            if (mark.isEmpty())
                continue;
            Rect covered;
            for (const Rect& word : drawn)
                if (mark.contains(Point { word.midX(), word.midY() }))
                    covered = covered.isEmpty() ? word : covered.united(word);
            if (covered.isEmpty()) {
                ADD_FAILURE() << "the mark at " << mark.minX() << "," << mark.minY() << " covers no word";
                continue;
            }
            EXPECT_NEAR(mark.minX(), covered.minX(), 1);
            EXPECT_NEAR(mark.minY(), covered.minY(), 1);
            EXPECT_NEAR(mark.maxX(), covered.maxX(), 1);
            EXPECT_NEAR(mark.maxY(), covered.maxY(), 1);
            const Rect inside(mark.minX() + 1, mark.minY() + 2, mark.width() - 2, mark.height() - 4);
            EXPECT_GT(warmth(*picture, inside), 60) << "the mark at " << mark.minX() << "," << mark.minY() << " is not shown";
        }
    }
};

TEST_F(RecognisedWordMarksTest, EachReadingMarksTheWordsWhereTheWindowShowsThemNow)
{
    desktop->setFrontmost(reportPid);
    readWord();
    expectMarksOnTheWords(0, "the first reading");

    ASSERT_TRUE(desktop->moveWindow(reportWindow, { 160, 70 }));
    advance(0.2);
    expectMarksOnTheWords(0, "the first reading, its window dragged 60 right and 30 down");

    // The next screen is recognised where the window stands now.
    reader->seekToParagraph(static_cast<int>(reader->paragraphs().size()) - 1);
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[ArticleReader] 📖 翻页成功"); }, 120));
    expectMarksOnTheWords(0, "the first reading's next screen");

    // The document scrolled 36 points up with the trackpad, under the pointer.
    const Point pointer { 560, 500 };
    desktop->setMouseLocation(pointer);
    InputEvent swipe = InputEvent::scrollWheel(std::nullopt, ScrollUnit::pixel, -36);
    swipe.location = pointer;
    Platform::windowServer().post(EventTap::hid, swipe);
    advance(0.2);
    expectMarksOnTheWords(0, "the first reading's next screen, scrolled");

    reader->stop();
    ASSERT_TRUE(desktop->moveWindow(reportWindow, { 1560, 60 }));
    readWord();
    expectMarksOnTheWords(1, "the second reading, on the second display");
}

} // namespace
} // namespace lorvantine::test
