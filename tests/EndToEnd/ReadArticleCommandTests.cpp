#include "EndToEnd/ReadArticleCommandTest.h"

#include "TestSupport/DesktopTest.h"
#include "TestSupport/FastClock.h"
#include "TestSupport/WordDocumentText.h"

#include <gtest/gtest.h>

#include <csignal>

namespace lorvantine::test {
namespace {

constexpr const char* wechatMessage = "❌ 找不到公号文章窗口（请先在微信中点开一篇公号文章）";

TEST_F(ReadArticleCommandTest, NothingReadableEndsAtOnceWithTheMessageAndStatusOne)
{
    // A text editor is not an article window, and no source reads it.
    auto made = SimDesktop::create();
    const ProcessID pid = made->addApplication({ .bundleIdentifier = "com.apple.TextEdit", .localizedName = "TextEdit", .active = true });
    const uint32_t number = made->addWindow(pid, SimWindow { .title = "Notes.txt", .frame = Rect(100, 80, 600, 400), .main = true });
    made->addElement(made->windowElement(number), SimElement("AXTextArea", "Buy milk."));
    useDesktop(made);

    EXPECT_EQ(route({ "lorvantine", "--read-article" }), 1);
    EXPECT_EQ(log.lines().back(), wechatMessage);
    EXPECT_EQ(route({ "lorvantine", "--read-article", "--app", "com.apple.TextEdit" }), 1);
    EXPECT_EQ(log.lines().back(), "❌ 在 com.apple.TextEdit 中未检测到可读内容");
    // "--app" with nothing after it names no application.
    EXPECT_EQ(route({ "lorvantine", "--app", "--read-article", "--app" }), 1);
    EXPECT_EQ(log.lines().back(), "❌ 在 --read-article 中未检测到可读内容");
    EXPECT_EQ(route({ "lorvantine", "--read-article", "--app" }), 1);
    EXPECT_EQ(log.lines().back(), wechatMessage);

    EXPECT_EQ(standardOutput, "");
    EXPECT_FALSE(reader().isReading());
    EXPECT_TRUE(programWindows().empty());
    EXPECT_TRUE(server->speechRequests().empty());
}

TEST_F(ReadArticleCommandTest, AnArticleWindowWithoutTextCountsAsNothingReadable)
{
    auto made = SimDesktop::create();
    const ProcessID pid = made->addApplication({ .bundleIdentifier = "com.apple.Safari", .localizedName = "Safari", .active = true });
    const uint32_t number = made->addWindow(pid, SimWindow { .title = "Blank", .frame = Rect(100, 80, 800, 600), .main = true });
    made->addElement(made->windowElement(number), SimElement("AXWebArea").with("AXDescription", std::string("Blank")));
    useDesktop(made);

    EXPECT_EQ(route({ "lorvantine", "--read-article", "--app", "com.apple.Safari" }), 1);
    EXPECT_EQ(log.lines().back(), "❌ 在 com.apple.Safari 中未检测到可读内容");
    EXPECT_EQ(route({ "lorvantine", "--read-article" }), 1);
    EXPECT_EQ(log.lines().back(), wechatMessage);
    EXPECT_EQ(standardOutput, "");
    EXPECT_TRUE(programWindows().empty());
}

TEST_F(ReadArticleCommandTest, AnnouncesTheArticleShowsThePlayerAndReadsUntilCtrlC)
{
    useFixture("e2e-short-article.json");
    bool playerShown = false;
    LoopScript script;
    script.waitFor("the first paragraph plays", [] { return playingParagraph().has_value(); })
        .then("look at the screen", [&] { playerShown = miniPlayerOnScreen() && miniPlayerDrawn(); })
        .then("press Ctrl+C", [] { std::raise(SIGINT); });

    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_EQ(standardOutput, "📖 找到文章: Short Walks — 4 段\n   按 Ctrl+C 停止\n");
    EXPECT_TRUE(playerShown);
    EXPECT_EQ(log.linesContaining("[退出]"), std::vector<std::string> { "\n[退出]" });
    EXPECT_FALSE(log.contains("[ReadArticle]"));
    EXPECT_FALSE(reader().isReading());
    EXPECT_TRUE(programWindows().empty());
    ASSERT_FALSE(requestedInputs().empty());
    EXPECT_EQ(requestedInputs().front(), "Short Walks");
}

TEST_F(ReadArticleCommandTest, TheEndOfTheDocumentResetsThePlayButtonAndOnlyTheCloseButtonEndsTheCommand)
{
    useFixture("e2e-short-article.json");
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
    std::string symbolWhilePlaying;
    bool shownAtTheEnd = false;
    LoopScript script;
    script.waitFor("the button shows pause", [&] { return (symbolWhilePlaying = playButtonSymbol()) == "pause.fill"; })
        .waitFor("the end of the document", [&] { return log.contains("[ReadArticle] 播放完成/翻页，重置播放按钮"); })
        .waitFor("the button shows play", [&] { return playButtonSymbol() == "play.fill"; })
        .then("look at the screen", [&] { shownAtTheEnd = miniPlayerOnScreen() && !reader().isReading(); })
        .then("press close", [&] {
            auto buttons = controls("AXButton");
            ASSERT_GE(buttons.size(), 2u);
            press(buttons.back());
        });

    EXPECT_EQ(route({ "lorvantine", "--read-article", "--app", "com.apple.Safari" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_TRUE(shownAtTheEnd);
    EXPECT_TRUE(log.contains("[MiniPlayer] close tapped"));
    EXPECT_FALSE(log.contains("[退出]"));
    EXPECT_TRUE(programWindows().empty());
    EXPECT_EQ(requestedInputs(), (std::vector<std::string> { "Short Walks", "A short walk after lunch clears the head.",
                                                              "Leave the phone at home and look at the trees.",
                                                              "Come back before the tea gets cold." }));
}

TEST_F(ReadArticleCommandTest, ADocumentOfWhichNothingCouldBeSpokenEndsTheCommandWithStatusOne)
{
    useFixture("e2e-short-article.json");
    // Every paragraph refused: the document ends without a word.
    server->fault("404");
    LoopScript refused;
    refused.waitFor("the command to end by itself", [] { return false; });
    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &refused), 1);
    EXPECT_TRUE(log.contains("[ReadArticle] ❌ 一段也没有读出来: HTTP 404: "));

    // A server that cannot be reached: the reading gives up after three paragraphs, whose retry
    // waits pass on a fast clock.
    server->reset();
    server->fault("hangup");
    {
        FastClock fast(50);
        LoopScript unreachable;
        unreachable.waitFor("the command to end by itself", [] { return false; });
        EXPECT_EQ(route({ "lorvantine", "--read-article" }, &unreachable), 1);
    }
    EXPECT_EQ(log.linesContaining("[ArticleReader] ❌ 连不上语音服务器 " + server->baseURL()).size(), 1u);
    EXPECT_FALSE(log.contains("[ReadArticle] 播放完成"));
    EXPECT_FALSE(reader().isReading());
    EXPECT_TRUE(programWindows().empty());
}

TEST_F(ReadArticleCommandTest, AFirstParagraphRefusedOnceLeavesThePlayerAtTheEndAndCloseEndsWithStatusZero)
{
    useFixture("e2e-short-article.json");
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
    server->control({ { "fault", "404" }, { "count", 1 } });
    bool shownAtTheEnd = false;
    LoopScript script;
    script.waitFor("the end of the document", [&] { return log.contains("[ReadArticle] 播放完成/翻页，重置播放按钮"); })
        .waitFor("the button shows play", [&] { return playButtonSymbol() == "play.fill"; })
        .then("look at the screen", [&] { shownAtTheEnd = miniPlayerOnScreen() && !reader().isReading(); })
        .then("press close", [&] {
            auto buttons = controls("AXButton");
            ASSERT_GE(buttons.size(), 2u);
            press(buttons.back());
        });

    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_TRUE(shownAtTheEnd);
    EXPECT_TRUE(log.contains("[ArticleReader] tts err para[0]: "));
    EXPECT_FALSE(log.contains("[ReadArticle] ❌"));
    EXPECT_TRUE(log.contains("[MiniPlayer] close tapped"));
    EXPECT_EQ(requestedInputs(), (std::vector<std::string> { "Short Walks", "A short walk after lunch clears the head.",
                                                              "Leave the phone at home and look at the trees.",
                                                              "Come back before the tea gets cold." }));
    EXPECT_TRUE(programWindows().empty());
}

TEST_F(ReadArticleCommandTest, ThePlayerKeepsToTheArticlesApplicationAfterTheReadingEnds)
{
    useFixture("e2e-short-article.json");
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
    const ProcessID safari = desktop->pidOf("com.apple.Safari").value_or(0);
    const ProcessID terminal = desktop->addApplication({ .bundleIdentifier = "com.apple.Terminal", .localizedName = "Terminal" });
    desktop->addWindow(terminal, SimWindow { .title = "Shell", .frame = Rect(300, 200, 600, 400), .main = true });
    LoopScript script;
    script.waitFor("the first paragraph plays", [] { return playingParagraph().has_value(); })
        .then("bring Terminal to the front", [&] { desktop->setFrontmost(terminal); })
        .waitFor("the player leaves the screen", [&] { return !miniPlayerOnScreen(); })
        // The reading ends while Terminal is in front.
        .waitFor("the end of the document", [&] { return log.contains("[ReadArticle] 播放完成/翻页，重置播放按钮"); })
        .then("bring Safari back", [&] { desktop->setFrontmost(safari); })
        .waitFor("the player comes back with Safari", [&] { return miniPlayerOnScreen(); })
        .then("bring Terminal to the front again", [&] { desktop->setFrontmost(terminal); })
        .waitFor("the player leaves the screen again", [&] { return !miniPlayerOnScreen(); })
        .then("bring Safari back again", [&] { desktop->setFrontmost(safari); })
        .waitFor("the player comes back again", [&] { return miniPlayerOnScreen(); })
        .then("press close", [&] {
            auto buttons = controls("AXButton");
            ASSERT_GE(buttons.size(), 2u);
            press(buttons.back());
        });

    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_TRUE(log.contains("[MiniPlayer] close tapped"));
    EXPECT_FALSE(reader().isReading());
    EXPECT_TRUE(programWindows().empty());
}

TEST_F(ReadArticleCommandTest, SpeedAndVoiceChosenWhileChineseIsReadAreStoredForChinese)
{
    useFixture("e2e-chinese-article.json");
    float rateAfterChange = 0;
    std::optional<float> currentPieceRate;
    const std::string xiaoya = voiceTitle(MiniPlayer::zhVoices(), "zf_017");
    LoopScript script;
    script.waitFor("the first paragraph plays", [] { return playingParagraph().has_value(); })
        .waitFor("open the speeds", [&] { return openPopUp(0); })
        .waitFor("choose 2.0x", [&] { return chooseMenuItem("2.0x"); })
        .waitFor("the rate changes", [&] { return stored(PreferencesModel::Key::defaultSpeed).has_value(); })
        .then("read the rate", [&] {
            AudioPlayer& player = reader().player();
            std::lock_guard guard(player.lock);
            rateAfterChange = player.rate;
            if (player.currentPlayer)
                currentPieceRate = player.currentPlayer->rate();
        })
        .waitFor("open the voices", [&] { return openPopUp(1); })
        .waitFor("choose Xiaoya", [&] { return chooseMenuItem(xiaoya); })
        .waitFor("speech in the new voice", [] {
            for (const auto& request : server->speechRequests())
                if (request.voiceCode == "zf_017")
                    return true;
            return false;
        })
        .then("press Ctrl+C", [] { std::raise(SIGINT); });

    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_EQ(rateAfterChange, 2.0f);
    EXPECT_EQ(currentPieceRate.value_or(2.0f), 2.0f);
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeed), UserDefaults::Value(2.0));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeedZh), UserDefaults::Value(2.0));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeedEn), std::nullopt);
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoice), UserDefaults::Value(std::string("zf_017")));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoiceZh), UserDefaults::Value(std::string("zf_017")));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoiceEn), std::nullopt);
    EXPECT_EQ(reader().currentVoice(), "zf_017");
}

TEST_F(ReadArticleCommandTest, SpeedVoiceAndPauseWhileEnglishIsRead)
{
    useFixture("e2e-short-article.json");
    float rateAfterChange = 0;
    bool pausedAfterFirstPress = false;
    std::string symbolWhilePaused;
    const std::string emma = voiceTitle(MiniPlayer::enVoices(), "bf_emma");
    auto playing = [] {
        AudioPlayer& player = reader().player();
        std::lock_guard guard(player.lock);
        return player.currentPlayer && player.currentPlayer->isPlaying();
    };
    LoopScript script;
    // The title is spoken in a moment; the first paragraph lasts long enough to pause it.
    script.waitFor("the first paragraph plays", [&] { return playingParagraph() == 1 && playing(); })
        .waitFor("press play/pause", [&] { return press(controls("AXButton").at(0)); })
        .waitFor("the button shows play", [&] { return (symbolWhilePaused = playButtonSymbol()) == "play.fill"; })
        .then("look at the player", [&] { pausedAfterFirstPress = !playing(); })
        .waitFor("press play/pause again", [&] { return press(controls("AXButton").at(0)); })
        .waitFor("playing again", [&] { return playing() && playButtonSymbol() == "pause.fill"; })
        .waitFor("open the speeds", [&] { return openPopUp(0); })
        .waitFor("choose 0.8x", [&] { return chooseMenuItem("0.8x"); })
        .waitFor("the rate changes", [&] { return stored(PreferencesModel::Key::defaultSpeed).has_value(); })
        .then("read the rate", [&] {
            std::lock_guard guard(reader().player().lock);
            rateAfterChange = reader().player().rate;
        })
        .waitFor("open the voices", [&] { return openPopUp(1); })
        .waitFor("choose Emma", [&] { return chooseMenuItem(emma); })
        .waitFor("the voice is stored", [&] { return stored(PreferencesModel::Key::defaultVoice).has_value(); })
        .then("press Ctrl+C", [] { std::raise(SIGINT); });

    EXPECT_EQ(route({ "lorvantine", "--read-article", "--app", "com.apple.Safari" }, &script), 0);

    EXPECT_TRUE(script.finished()) << script.failure();
    EXPECT_TRUE(pausedAfterFirstPress);
    EXPECT_EQ(symbolWhilePaused, "play.fill");
    EXPECT_EQ(rateAfterChange, 0.8f);
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeed), UserDefaults::Value(static_cast<double>(0.8f)));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeedEn), UserDefaults::Value(static_cast<double>(0.8f)));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultSpeedZh), std::nullopt);
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoice), UserDefaults::Value(std::string("bf_emma")));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoiceEn), UserDefaults::Value(std::string("bf_emma")));
    EXPECT_EQ(stored(PreferencesModel::Key::defaultVoiceZh), std::nullopt);
    EXPECT_EQ(reader().currentVoice(), "bf_emma");
}

TEST_F(ReadArticleCommandTest, ACtrlCThatArrivesAfterTheCommandEndedDoesNotEndTheNextOne)
{
    useFixture("e2e-short-article.json");
    LoopScript first;
    // Two presses: the second reaches the main queue after the first has ended the loop.
    first.waitFor("the first paragraph plays", [] { return playingParagraph().has_value(); })
        .then("press Ctrl+C twice", [] {
            std::raise(SIGINT);
            std::raise(SIGINT);
        });
    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &first), 0);
    EXPECT_TRUE(first.finished()) << first.failure();

    server->reset();
    bool readingAfterAWhile = false;
    LoopScript second;
    second.waitFor("the first paragraph plays", [] { return playingParagraph().has_value(); })
        .waitFor("a little later", [start = std::make_shared<std::optional<TimePoint>>()] {
            if (!*start)
                *start = Clock::current().now();
            return Clock::current().now() - **start > seconds(0.2);
        })
        .then("look at the session", [&] { readingAfterAWhile = reader().isReading(); })
        .then("press Ctrl+C", [] { std::raise(SIGINT); });
    EXPECT_EQ(route({ "lorvantine", "--read-article" }, &second), 0);
    EXPECT_TRUE(second.finished()) << second.failure();
    EXPECT_TRUE(readingAfterAWhile);
    EXPECT_EQ(log.linesContaining("[退出]").size(), 2u);
}

// A Word document read with "--read-article --app com.microsoft.Word" to its end, on a fast clock:
// the speech plays silently at fifty times its speed, the key presses' waits pass as quickly.
class WordReadingTest : public ReadArticleCommandTest {
protected:
    // Reads the document of `fixture` until the end of the document resets the play button, and
    // answers the words spoken: the text of every speech answer, in the order they were asked for.
    std::vector<std::string> spokenWords(const std::string& fixture)
    {
        useFixture(fixture);
        defaults->set(PreferencesModel::Key::defaultSpeedEn, 2.0f);
        readToTheEnd("com.microsoft.Word");
        std::vector<std::string> spoken;
        for (const SpeechServerRequest& request : server->speechRequests()) {
            EXPECT_EQ(request.status, 200) << request.input.value_or("");
            spoken.push_back(request.processedText.value_or(""));
        }
        return wordsOf(spoken);
    }

    static std::vector<std::string> documentWords(const std::string& fixture) { return wordsOf(wordFixtureParagraphs(fixtureNamed(fixture))); }
};

TEST_F(WordReadingTest, AReportLongerThanFiveScreensIsHeardOnceWordForWordToItsEnd)
{
    // Paragraphs run across the foot of most screens, and the last press moves less than a screen.
    EXPECT_EQ(spokenWords("word-report.json"), documentWords("word-report.json"));
    EXPECT_TRUE(log.contains("[Word] 📜 滚动 5 次后无新内容 ("));
    EXPECT_FALSE(log.contains("[OCR-enrich]"));
}

TEST_F(WordReadingTest, AReportBesideTheNavigationPaneIsHeardOnceWordForWordToItsEnd)
{
    // The pane of page thumbnails beside the document scrolls on its own, and paging leaves it still.
    EXPECT_EQ(spokenWords("word-navigation-pane.json"), documentWords("word-navigation-pane.json"));
    EXPECT_TRUE(log.contains("[Word] 📜 滚动 5 次后无新内容 ("));
}

TEST_F(WordReadingTest, MinutesWithATitlePageAreFilledAheadThenHeardOnceWordForWord)
{
    EXPECT_EQ(spokenWords("word-minutes.json"), documentWords("word-minutes.json"));
    EXPECT_TRUE(log.contains("[OCR-enrich] 内容稀疏 ("));
    EXPECT_TRUE(log.contains("[Word] 📜 滚动 5 次后无新内容 ("));
}

TEST_F(WordReadingTest, ALetterIsHeardToItsSalutationAndTheSignatureUnderIt)
{
    const auto heard = spokenWords("word-letter.json");
    EXPECT_EQ(heard, documentWords("word-letter.json"));
    ASSERT_GE(heard.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(heard.end() - 2, heard.end()), (std::vector<std::string> { "Regards,", "Priya" }));
}

TEST_F(WordReadingTest, ANewsletterPageIsHeardHeadlineFirstThenEachColumnWholeThenItsCaption)
{
    // The desktop's recogniser reports the page's lines by height across it, both columns' lines
    // side by side, as a line-oriented engine does.
    std::string error;
    auto desktop = SimDesktop::load(fixturePath("word-newsletter.json"), error);
    ASSERT_TRUE(desktop) << error;
    const Rect leftColumn = *desktop->frameOf(desktop->element("left-column"));
    const Rect rightColumn = *desktop->frameOf(desktop->element("right-column"));
    ASSERT_NEAR(leftColumn.minY(), rightColumn.minY(), 1e-9);
    ASSERT_GT(desktop->frameOf(desktop->element("caption"))->minY(), std::max(leftColumn.maxY(), rightColumn.maxY()));
    ASSERT_LT(desktop->frameOf(desktop->element("byline"))->maxY(), leftColumn.minY());

    EXPECT_EQ(spokenWords("word-newsletter.json"), documentWords("word-newsletter.json"));
    EXPECT_EQ(log.linesContaining("[VisionOCR] 双栏检测").size(), log.linesContaining("[VisionOCR] recognizeWords").size());
}

} // namespace
} // namespace lorvantine::test
