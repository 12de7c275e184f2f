// When a page has played: the owner is asked for the next one, which is read on from its first
// paragraph; no next page ends the reading.

#include "Reading/ReadingTestSupport.h"

#include "CLI/CLIRouter.h"
#include "Documents/KindleSource.h"
#include "Overlay/HighlightView.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;

class PageAdvanceTest : public ReadingTest {
protected:
    void SetUp() override
    {
        ReadingTest::SetUp();
        reader->onNeedNextPage = [this](ArticleReader::NextPageCompletion completion) {
            ++pageRequests;
            pending = std::move(completion);
        };
    }

    // The next page as a page turn delivers it: numbered as on the whole document, with the
    // element's full text.
    std::vector<ArticleParagraph> nextPage(const ReadingWindow& window, int firstIndex)
    {
        auto paragraphs = paragraphsOf(window);
        for (auto& paragraph : paragraphs) {
            paragraph.index = firstIndex++;
            paragraph.axFullText = "the whole page";
            paragraph.nativeCharOffset = 0;
        }
        return paragraphs;
    }

    void answer(std::optional<std::vector<ArticleParagraph>> paragraphs)
    {
        ASSERT_TRUE(pending);
        auto completion = std::exchange(pending, nullptr);
        completion(std::move(paragraphs));
    }

    int pageRequests = 0;
    ArticleReader::NextPageCompletion pending;
};

TEST_F(PageAdvanceTest, ReadsTheNextPageFromItsFirstParagraphAndEndsWhenThereIsNoMore)
{
    ProcessID pid = addApplication("com.amazon.Lassen");
    ReadingWindow first = addWindow(pid, { "The first page holds this.", "And this as well." });
    ReadingWindow second = addWindow(pid, { "The second page starts here.", "Then goes on.", "And ends." });
    showMiniPlayer(first.window);
    startReading(first);

    ASSERT_TRUE(advanceUntil([&] { return pageRequests == 1; }));
    EXPECT_TRUE(log.contains("[ArticleReader] 📖 当前页播完，请求翻页..."));
    advance(3);
    EXPECT_EQ(pageRequests, 1) << "asked once while the page is being turned";
    EXPECT_TRUE(reader->isReading());

    // The counter is read from here on, whenever it changes. The new page's first paragraph may
    // start as soon as the page is handed over, before the next look at the counter: it is
    // recorded from before the handover so that no change goes unseen.
    std::vector<std::string> labels { miniPlayerLabel() };
    auto recordLabel = [&] {
        if (std::string label = miniPlayerLabel(); label != labels.back())
            labels.push_back(std::move(label));
    };
    answer(nextPage(second, 12));
    EXPECT_TRUE(log.contains("[ArticleReader] 📖 翻页成功，新页 3 段"));
    ASSERT_EQ(reader->paragraphs().size(), 3u);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(reader->paragraphs()[static_cast<size_t>(k)].index, k);
        EXPECT_EQ(reader->paragraphs()[static_cast<size_t>(k)].axFullText, std::nullopt);
        EXPECT_EQ(reader->paragraphs()[static_cast<size_t>(k)].nativeCharOffset, 0) << "other fields stay as given";
    }
    RunLoop::runPending();
    recordLabel();
    const HighlightView* overlay = overlayOnScreen();
    ASSERT_NE(overlay, nullptr);
    std::vector<Rect> secondFrames;
    for (const auto& paragraph : paragraphsOf(second))
        secondFrames.push_back(paragraph.frame);
    EXPECT_EQ(overlay->paragraphs(), secondFrames) << "the marks stand on the new page";
    EXPECT_EQ(overlay->currentIndex(), 0);

    ASSERT_TRUE(advanceUntil([&] {
        recordLabel();
        return pageRequests == 2;
    }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "0/0", "1/0", "2/0"));
    EXPECT_THAT(labels, ElementsAre("2/2", "1/3", "2/3", "3/3")) << "counted on the new page from its first paragraph";
    EXPECT_EQ(finishedCount, 0);

    answer(std::nullopt);
    EXPECT_TRUE(log.contains("[ArticleReader] 📖 无更多页面，播放结束"));
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(firstPlayingCount, 1) << "once per reading, pages included";
}

TEST_F(PageAdvanceTest, AnswersThatComeLateOrTwiceChangeNothing)
{
    ProcessID pid = addApplication("com.amazon.Lassen");
    ReadingWindow first = addWindow(pid, { "The first page is short." });
    ReadingWindow other = addWindow(pid, { "Another document altogether." });
    startReading(first);
    ASSERT_TRUE(advanceUntil([&] { return pageRequests == 1; }));
    auto lateAnswer = std::exchange(pending, nullptr);

    // The owner stopped and started another reading before the page turn answered.
    reader->stop();
    reader->onNeedNextPage = [this](ArticleReader::NextPageCompletion completion) {
        ++pageRequests;
        pending = std::move(completion);
    };
    startReading(other);
    lateAnswer(nextPage(first, 0));
    EXPECT_EQ(reader->paragraphs().front().text, "Another document altogether.");
    EXPECT_FALSE(log.contains("翻页成功"));

    ASSERT_TRUE(advanceUntil([&] { return pageRequests == 2; }));
    auto answerOnce = std::exchange(pending, nullptr);
    answerOnce(std::nullopt);
    EXPECT_EQ(finishedCount, 1);
    answerOnce(std::nullopt);
    EXPECT_EQ(finishedCount, 1) << "a completion counts once";
    EXPECT_EQ(logCount("[ArticleReader] 📖 无更多页面，播放结束"), 1u);
}

// Kindle at the last page of its book, its pages turned by the real page turn; the key presses on
// the main thread move the clock as they wait.
class KindlePageTurnTest : public ReadingTest {
protected:
    void SetUp() override
    {
        ReadingTest::SetUp();
        clock->setMainThreadSleepsAdvance(true);
    }

    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = fixtureNamed("kindle-book.json");
        fixture.applications[1].behaviours.paging->texts.resize(1);
        return SimDesktop::create(fixture);
    }

    int keyDowns()
    {
        int count = 0;
        for (const SimJournalEntry& entry : desktop->journal())
            count += entry.kind == SimJournalEntry::Kind::event && entry.event && entry.event->type == InputEventType::keyDown;
        return count;
    }

    // Reads Kindle's page as the shell does, turning pages at its end; false when it cannot be read.
    bool startReadingThePage()
    {
        const std::string kindleID = "com.amazon.Lassen";
        auto page = KindleSource::detect(kindleID);
        if (!page)
            return false;
        std::vector<ArticleParagraph> paragraphs;
        for (const ReadableParagraph& paragraph : page->paragraphs())
            paragraphs.push_back(paragraph.toArticleParagraph());
        reader->onNeedNextPage = CLIRouter::pageAdvance(kindleID, reader);
        reader->startReading(page->title(), page->windowElement(), std::move(paragraphs), kindleID);
        return true;
    }
};

TEST_F(KindlePageTurnTest, AReadingStoppedWhileThePageTurnsDoesNotPressAgain)
{
    ASSERT_TRUE(startReadingThePage());

    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Kindle] 📖 翻页 pid="); }));
    EXPECT_EQ(keyDowns(), 1);
    // The user stops the reading while the page turn still waits for the page to change.
    reader->stop();
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Kindle] 📖 阅读已停止，不再翻页") || log.contains("，已到末尾"); }, 10));
    EXPECT_EQ(keyDowns(), 1) << "the page of a reading that has stopped is the user's";
    EXPECT_FALSE(log.contains("首次翻页未响应"));
    EXPECT_EQ(finishedCount, 0);
}

// Kindle with three pictures after the page being read, then a page of text.
class KindlePicturesTurnTest : public KindlePageTurnTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override
    {
        SimFixture fixture = fixtureNamed("kindle-book.json");
        std::vector<std::string>& texts = fixture.applications[1].behaviours.paging->texts;
        texts = { texts[0], "", "", "", texts[1] };
        return SimDesktop::create(fixture);
    }
};

TEST_F(KindlePicturesTurnTest, AReadingStoppedWhilePicturesAreTurnedPastPressesNoMore)
{
    ASSERT_TRUE(startReadingThePage());

    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Kindle] 📖 翻页 pid="); }));
    // The user stops the reading while the page turn is on its way onto the first picture.
    reader->stop();
    ASSERT_TRUE(advanceUntil([&] { return log.contains("[Kindle] 📖 阅读已停止，不再翻页") || log.contains("翻页成功"); }, 10));
    EXPECT_EQ(keyDowns(), 1) << "the page of a reading that has stopped is the user's";
    EXPECT_FALSE(log.contains("本页无可读内容"));
    EXPECT_EQ(finishedCount, 0);
}

} // namespace
} // namespace lorvantine::test
