// The once-a-second check of the source window: a reading stops when its window has been closed,
// resized, switched to other text or turned by hand, each only on the third check in a row; a web
// article replaced in its window is read again; the panels hide while the window is not in front.

#include "Reading/ReadingTestSupport.h"

#include "Accessibility/ArticleParser.h"
#include "Player/MiniPlayer.h"
#include "Support/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

// Enough text that the audio outlasts every check below.
std::vector<std::string> longParagraphs(size_t count)
{
    std::vector<std::string> texts;
    for (size_t i = 0; i < count; ++i)
        texts.push_back("Paragraph " + std::to_string(i)
                        + " is long enough to keep the reading going for a good while, well past several checks of its window.");
    return texts;
}

class WindowWatchTest : public ReadingTest {
protected:
    // Checks come one second apart from the start of a reading; after this the watch of the
    // reading started last has made `ticks` checks.
    void advanceToJustAfterTick(int ticks)
    {
        advance(ticks + 0.5 - m_elapsed);
        m_elapsed = ticks + 0.5;
    }
    // A reading started now: its checks count from here.
    void countTicksFromNow() { m_elapsed = 0; }

    void expectStoppedWith(const std::string& line)
    {
        EXPECT_FALSE(reader->isReading());
        EXPECT_EQ(logCount(line), 1u);
        EXPECT_EQ(finishedCount, 1);
    }

private:
    double m_elapsed = 0;
};

TEST_F(WindowWatchTest, AClosedWindowStopsTheReadingOnTheThirdCheck)
{
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), longParagraphs(4));
    startReading(window);
    desktop->closeWindow(window.number);

    advanceToJustAfterTick(2);
    EXPECT_TRUE(reader->isReading());
    advanceToJustAfterTick(3);
    expectStoppedWith("[ArticleReader] 窗口连续 3s 无响应，停止朗读");
    advanceToJustAfterTick(6);
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(WindowWatchTest, AResizeOfMoreThanTenPointsStopsTheReadingOnTheThirdCheck)
{
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), longParagraphs(4), Rect(100, 60, 700, 600));
    startReading(window);

    desktop->resizeWindow(window.number, { 692, 600 });
    advanceToJustAfterTick(4);
    EXPECT_TRUE(reader->isReading()) << "8 points is within the tolerance";

    desktop->resizeWindow(window.number, { 689, 600 });
    advanceToJustAfterTick(6);
    EXPECT_TRUE(reader->isReading());
    advanceToJustAfterTick(7);
    expectStoppedWith("[ArticleReader] 🔄 窗口尺寸变化（连续3s），停止朗读");
}

TEST_F(WindowWatchTest, MovingTheWindowStartsTheCountAfresh)
{
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), longParagraphs(4), Rect(100, 60, 700, 600));
    startReading(window);
    desktop->resizeWindow(window.number, { 700, 640 });
    advanceToJustAfterTick(2);

    desktop->moveWindow(window.number, { 160, 60 });
    advanceToJustAfterTick(3);
    advanceToJustAfterTick(5);
    EXPECT_TRUE(reader->isReading()) << "the move cleared the two strikes before it";
    advanceToJustAfterTick(6);
    expectStoppedWith("[ArticleReader] 🔄 窗口尺寸变化（连续3s），停止朗读");
}

TEST_F(WindowWatchTest, AWindowShowingOtherTextStopsTheReadingOnTheThirdCheck)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow window = addWindow(pid, {});
    const auto texts = longParagraphs(3);
    const std::string whole = texts[0] + "\n" + texts[1] + "\n" + texts[2];
    AXElement area = desktop->addElement(window.window, SimElement("AXTextArea", whole));
    std::vector<ArticleParagraph> paragraphs;
    int offset = 0;
    for (size_t i = 0; i < texts.size(); ++i) {
        ArticleParagraph paragraph;
        paragraph.index = static_cast<int>(i);
        paragraph.text = texts[i];
        paragraph.frame = desktop->frameOf(area).value_or(Rect());
        paragraph.role = "AXTextArea";
        paragraph.element = area;
        paragraph.nativeCharOffset = offset;
        offset += static_cast<int>(Text::utf16Count(texts[i])) + 1;
        paragraphs.push_back(paragraph);
    }
    reader->startReading("Notes", window.window, paragraphs, "");

    advanceToJustAfterTick(1);
    desktop->setText(area, "An entirely different note is shown in the window now.");
    advanceToJustAfterTick(3);
    EXPECT_TRUE(reader->isReading());
    advanceToJustAfterTick(4);
    expectStoppedWith("[ArticleReader] 🔄 内容已切换（连续3s），停止朗读");
}

TEST_F(WindowWatchTest, ABooksPageTurnedByHandStopsTheReadingOnTheThirdCheck)
{
    ReadingWindow window = addWindow(addApplication("com.apple.iBooksX"), longParagraphs(3));
    startReading(window);
    EXPECT_TRUE(log.contains("[Books] fingerprint: narrow \"Paragraph 0 is long enough to \" x=100"))
        << "a Books window read with no bundle identifier while Books is in front";

    advanceToJustAfterTick(1);
    desktop->setText(window.elements[0], "The reader turned to another page by hand, and it shows this text.");
    advanceToJustAfterTick(3);
    EXPECT_TRUE(reader->isReading());
    advanceToJustAfterTick(4);
    expectStoppedWith("[ArticleReader] 📖 检测到手动翻页（连续3s），停止朗读");
}

TEST_F(WindowWatchTest, ThePanelsHideWhileAnotherApplicationIsInFront)
{
    ProcessID editor = addApplication("com.apple.TextEdit");
    ProcessID other = addApplication("com.apple.Terminal", false);
    ReadingWindow window = addWindow(editor, longParagraphs(4));
    // Without a tracked application the mini player's own focus check leaves it alone.
    showMiniPlayer(window.window);
    startReading(window);

    advanceToJustAfterTick(1);
    EXPECT_NE(overlayOnScreen(), nullptr);
    EXPECT_TRUE(miniPlayerOnScreen());
    desktop->setFrontmost(other);
    advanceToJustAfterTick(2);
    EXPECT_EQ(overlayOnScreen(), nullptr);
    EXPECT_FALSE(miniPlayerOnScreen());
    EXPECT_FALSE(miniPlayer->visibleState());
    desktop->setFrontmost(editor);
    advanceToJustAfterTick(3);
    EXPECT_NE(overlayOnScreen(), nullptr);
    EXPECT_TRUE(miniPlayerOnScreen());
    EXPECT_TRUE(reader->isReading());
}

TEST_F(WindowWatchTest, AMinimizedWindowHidesThePanelsAtTheNextCheckWhateverItsApplication)
{
    // Books, Preview and Kindle read from windows that are not main, but not from minimized ones.
    for (const char* bundleID : { "com.apple.iBooksX", "com.apple.Preview", "com.amazon.Lassen", "com.microsoft.Word" }) {
        SCOPED_TRACE(bundleID);
        ReadingWindow window = addWindow(addApplication(bundleID), longParagraphs(4));
        showMiniPlayer(window.window);
        startReading(window, bundleID);
        countTicksFromNow();

        advanceToJustAfterTick(1);
        ASSERT_NE(overlayOnScreen(), nullptr);
        ASSERT_TRUE(miniPlayerOnScreen());
        desktop->minimizeWindow(window.number);
        advanceToJustAfterTick(2);
        EXPECT_EQ(overlayOnScreen(), nullptr);
        EXPECT_FALSE(miniPlayerOnScreen());
        desktop->minimizeWindow(window.number, false);
        advanceToJustAfterTick(3);
        EXPECT_NE(overlayOnScreen(), nullptr);
        EXPECT_TRUE(miniPlayerOnScreen());
        EXPECT_TRUE(reader->isReading());

        reader->stop();
        miniPlayer->hide();
    }
}

TEST_F(WindowWatchTest, AReadingThatEndsWhileThePanelsAreHiddenGivesThePlayerBack)
{
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), longParagraphs(1));
    showMiniPlayer(window.window);
    startReading(window);
    desktop->minimizeWindow(window.number);
    advanceToJustAfterTick(1);
    ASSERT_FALSE(miniPlayerOnScreen());
    ASSERT_TRUE(reader->isReading());

    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    RunLoop::runPending();
    EXPECT_EQ(finishedCount, 1);
    EXPECT_TRUE(miniPlayerOnScreen()) << "its close button must stay within reach";
}

TEST_F(WindowWatchTest, AWindowThatIsNotMainIsHiddenUnlessItsApplicationReadsFromOtherWindows)
{
    ProcessID wordPid = addApplication("com.microsoft.Word");
    addWindow(wordPid, {}, Rect(120, 80, 700, 600), true);
    ReadingWindow word = addWindow(wordPid, longParagraphs(4), Rect(100, 60, 700, 600), false);
    startReading(word);
    ASSERT_NE(overlayOnScreen(), nullptr);
    advanceToJustAfterTick(1);
    EXPECT_EQ(overlayOnScreen(), nullptr);

    reader->stop();
    ProcessID booksPid = addApplication("com.apple.iBooksX");
    addWindow(booksPid, {}, Rect(120, 80, 700, 600), true);
    ReadingWindow books = addWindow(booksPid, longParagraphs(4), Rect(100, 60, 700, 600), false);
    startReading(books);
    countTicksFromNow();
    advanceToJustAfterTick(1);
    EXPECT_NE(overlayOnScreen(), nullptr);
}

TEST_F(WindowWatchTest, MissesOfAnEndedReadingDoNotCountAgainstTheNextOne)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow first = addWindow(pid, longParagraphs(4));
    ReadingWindow second = addWindow(pid, longParagraphs(4));
    startReading(first);
    desktop->closeWindow(first.number);
    advanceToJustAfterTick(3);
    ASSERT_FALSE(reader->isReading());

    startReading(second);
    countTicksFromNow();
    desktop->closeWindow(second.number);
    advanceToJustAfterTick(2);
    EXPECT_TRUE(reader->isReading()) << "two unreadable checks of its own";
    advanceToJustAfterTick(3);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(finishedCount, 2);
}

TEST_F(WindowWatchTest, ASlowCheckOfAStoppedReadingDoesNotCountAgainstTheNextOne)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow first = addWindow(pid, longParagraphs(4));
    ReadingWindow second = addWindow(pid, longParagraphs(4));
    startReading(first);
    desktop->closeWindow(first.number);
    advanceToJustAfterTick(2);

    // The third check of the first window hangs in the application until the owner has moved on.
    accessibility->hold(first.window);
    advanceToJustAfterTick(3);
    ASSERT_TRUE(accessibility->isHolding());
    ASSERT_TRUE(reader->isReading());
    reader->stop();
    startReading(second);
    countTicksFromNow();
    desktop->closeWindow(second.number);
    accessibility->release();
    advanceToJustAfterTick(2);
    EXPECT_TRUE(reader->isReading()) << "the late miss belonged to the reading that was stopped";
    advanceToJustAfterTick(3);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(finishedCount, 1);
}

class WebArticleRestartTest : public WindowWatchTest {
protected:
    void SetUp() override
    {
        WindowWatchTest::SetUp();
        ProcessID pid = addApplication("com.apple.Safari");
        windowNumber = desktop->addWindow(pid, SimWindow { .title = "Safari", .frame = Rect(80, 40, 900, 700), .main = true });
        SimElement webArea("AXWebArea");
        webArea.named("web").with(AXName::description, std::string("Article One"));
        webArea.child(SimElement("AXStaticText", "Article One"));
        for (const auto& text : longParagraphs(3))
            webArea.child(SimElement("AXStaticText", "First article. " + text));
        desktop->addElement(desktop->windowElement(windowNumber), SimElement("AXScrollArea").child(webArea));
    }

    void showTheSecondArticle()
    {
        AXElement webArea = desktop->element("web");
        desktop->setAttribute(webArea, AXName::description, std::string("Article Two"));
        int i = 0;
        for (const auto& text : longParagraphs(3))
            desktop->addElement(webArea, SimElement("AXStaticText", "Second article " + std::to_string(i++) + ". " + text));
    }

    // Reads the first article and replaces it by the second, which the second check sees.
    void readThenSwitchArticles()
    {
        startFromTheCapture();
        advanceToJustAfterTick(1);
        showTheSecondArticle();
        advanceToJustAfterTick(2);
        ASSERT_FALSE(reader->isReading());
    }

    void startFromTheCapture()
    {
        auto article = ArticleParser::captureArticle();
        ASSERT_TRUE(article);
        ASSERT_FALSE(article->paragraphs.empty());
        reader->startReading(article->title, article->window, article->paragraphs, "com.apple.Safari");
    }

    uint32_t windowNumber = 0;
};

TEST_F(WebArticleRestartTest, AReplacedArticleIsReadAgainFromTheWindowAMomentLater)
{
    startFromTheCapture();
    advanceToJustAfterTick(1);
    showTheSecondArticle();
    advanceToJustAfterTick(2);

    EXPECT_FALSE(reader->isReading()) << "no three-check wait";
    EXPECT_EQ(logCount("[ArticleReader] 🔄 文章已切换"), 1u);
    EXPECT_EQ(finishedCount, 0);

    // The switch was seen at the second check, one and a half seconds before the restart.
    advance(0.9);
    EXPECT_FALSE(reader->isReading());
    advance(0.2);
    ASSERT_TRUE(reader->isReading());
    EXPECT_EQ(logCount("[ArticleReader] ▶ \"Article Two\""), 1u);
    ASSERT_FALSE(reader->paragraphs().empty());
    EXPECT_THAT(reader->paragraphs().front().text, ::testing::HasSubstr("Second article 0."));
    EXPECT_EQ(finishedCount, 0);
}

TEST_F(WebArticleRestartTest, AReadingStoppedInTheMomentBeforeTheRestartStaysStopped)
{
    readThenSwitchArticles();

    advance(0.5);
    reader->stop(); // the person closes the mini player
    advance(3);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(logCount("[ArticleReader] ▶ \"Article Two\""), 0u);
}

TEST_F(WebArticleRestartTest, ASelectionReadInTheMomentBeforeTheRestartIsNotFollowedByTheWholeArticle)
{
    readThenSwitchArticles();

    // The person selects a sentence of the new article and has it read, then ends it with Escape.
    advance(0.3);
    reader->stop();
    ArticleParagraph selection;
    selection.text = "Second article 0.";
    selection.role = "Selection";
    selection.boundsDisabled = true;
    reader->startReading("Second article 0.", desktop->windowElement(windowNumber), { selection }, "com.apple.Safari");
    advance(0.5);
    reader->stop();
    advance(3);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(logCount("[ArticleReader] ▶ \"Article Two\""), 0u);
}

TEST_F(WebArticleRestartTest, NoArticleWindowLeftMeansTheReadingStaysStopped)
{
    readThenSwitchArticles();
    desktop->closeWindow(windowNumber);

    advance(2);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(logCount("[ArticleReader] ❌ 找不到公号文章窗口"), 1u);
    EXPECT_EQ(finishedCount, 0);
}

} // namespace
} // namespace lorvantine::test
