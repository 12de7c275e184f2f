// A whole reading from start to end: what goes to the speech server, in what order, what plays,
// what the owner hears, and how the overlay and the mini player follow the playing paragraph.

#include "Reading/ReadingTestSupport.h"

#include "Audio/AudioPlayer.h"
#include "Overlay/HighlightView.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Text.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Field;
using ::testing::IsEmpty;

class ReadingOrderTest : public ReadingTest { };

TEST_F(ReadingOrderTest, ReadsEveryParagraphInOrderWithOneRequestInFlightAndEndsByItself)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow window = addWindow(pid, { "The first paragraph is short.", "The second one has two sentences. Here is the other.",
                                            "", "The fourth paragraph closes the page." });
    startReading(window);
    EXPECT_TRUE(reader->isReading());

    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_THAT(requestedInputs(), ElementsAre("The first paragraph is short.", "The second one has two sentences. Here is the other.",
                                               "Here is the other.", "The fourth paragraph closes the page."))
        << "the empty paragraph is passed over without a request";
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::concurrency, 1)));
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::voiceCode, "af_heart")));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "1/34", "3/0"))
        << "the second part of paragraph 1 starts where its sentence does, after the space";

    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(firstPlayingCount, 1);
    EXPECT_THAT(errors, IsEmpty());
    EXPECT_EQ(logCount("[ArticleReader] ✓ 播放完成"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] ▶ \"Document\" — 4 段"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] 语言=en 音色=af_heart 语速=1.5"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] ✓ para[1] 2 parts"), 1u);
}

TEST_F(ReadingOrderTest, EachPieceStartsWhereItsSentenceStartsInTheParagraph)
{
    // Spaces between sentences, and line breaks (sent as "。"), are text the pieces do not hold.
    std::string longParagraph;
    std::vector<std::string> starts;
    for (int k = 1; k <= 12; ++k) {
        starts.push_back("Sentence " + std::to_string(k) + " ");
        longParagraph += starts.back() + "comes here." + (k == 6 ? "  " : " ");
    }
    const std::string lines = "A first line\nA second line.\n\nA third line.";
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), { longParagraph, lines });
    startReading(window);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    std::vector<std::string> expected;
    auto expectAt = [&](int paragraph, const std::string& text, const std::string& start) {
        const size_t at = text.find(start);
        ASSERT_NE(at, std::string::npos) << start;
        expected.push_back(std::to_string(paragraph) + "/" + std::to_string(Text::characterCount(text.substr(0, at))));
    };
    for (const auto& start : starts)
        expectAt(0, longParagraph, start);
    for (const char* start : { "A first", "A second", "A third" })
        expectAt(1, lines, start);
    EXPECT_EQ(plays(), expected);
}

TEST_F(ReadingOrderTest, TheOverlayAndTheMiniPlayerFollowThePlayingParagraph)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow window = addWindow(pid, { "The first paragraph.", "The second one.", "And the third." });
    const auto paragraphs = paragraphsOf(window);
    showMiniPlayer(window.window);
    startReading(window);
    // Right of each paragraph's one short line, as it looks with no mark drawn yet.
    auto blank = [&](size_t i) { return Point { paragraphs[i].frame.maxX() - 20, paragraphs[i].frame.midY() }; };
    auto unmarked = renderScreen(1);
    ASSERT_TRUE(unmarked);

    std::vector<int> playing;
    ASSERT_TRUE(advanceUntil([&] {
        // A piece may have started while the picture was being drawn; its news is on the main queue.
        Dispatch::waitUntilIdle();
        const auto started = plays();
        if (started.size() > playing.size()) {
            const int now = std::stoi(started.back());
            playing.push_back(now);
            SCOPED_TRACE("paragraph " + std::to_string(now) + " playing");
            const HighlightView* overlay = overlayOnScreen();
            EXPECT_TRUE(overlay && overlay->currentIndex() == now);
            EXPECT_EQ(miniPlayerLabel(), std::to_string(now + 1) + "/3");
            auto picture = renderScreen(1);
            EXPECT_TRUE(picture);
            for (size_t i = 0; picture && i < paragraphs.size(); ++i) {
                const Rgb below = colourAt(*unmarked, blank(i));
                const Rgb expected = static_cast<int>(i) == now ? over(below, accent, 0.08) : below;
                EXPECT_TRUE(near(colourAt(*picture, blank(i)), expected))
                    << "paragraph " << i << " shows " << colourAt(*picture, blank(i)) << " where " << expected << " belongs";
            }
        }
        return readingEnded();
    }));
    EXPECT_THAT(playing, ElementsAre(0, 1, 2));
    EXPECT_EQ(overlayOnScreen(), nullptr) << "gone with the reading";
}

TEST_F(ReadingOrderTest, ChoosesTheVoiceAndSpeedStoredForTheDetectedLanguage)
{
    defaults->set(PreferencesModel::Key::defaultVoiceZh, "zf_017");
    defaults->set(PreferencesModel::Key::defaultSpeedZh, 2.0f);
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 0.0f);
    ProcessID pid = addApplication("com.apple.Notes");
    ReadingWindow chinese = addWindow(pid, { "今天的天气很好，我们一起去公园散步吧。" });
    showMiniPlayer(chinese.window);
    startReading(chinese);
    RunLoop::runPending();
    EXPECT_TRUE(reader->detectedIsZh());
    EXPECT_TRUE(miniPlayer->isZhContent());
    EXPECT_EQ(miniPlayer->activeVoices(), MiniPlayer::zhVoices()) << "the mini player offers the voices of the language read";
    EXPECT_EQ(reader->currentVoice(), "zf_017");
    EXPECT_EQ(logCount("[ArticleReader] 语言=zh 音色=zf_017 语速=2.0"), 1u);
    {
        std::lock_guard guard(reader->player().lock);
        EXPECT_EQ(reader->player().rate, 2.0f);
    }
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::voiceCode, "zf_017")));

    server->reset();
    ReadingWindow english = addWindow(pid, { "A stored speed of zero reads as the default." });
    startReading(english);
    RunLoop::runPending();
    EXPECT_FALSE(reader->detectedIsZh());
    EXPECT_EQ(miniPlayer->activeVoices(), MiniPlayer::enVoices());
    EXPECT_EQ(logCount("[ArticleReader] 语言=en 音色=af_heart 语速=1.5"), 1u);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::voiceCode, "af_heart")));
    EXPECT_EQ(finishedCount, 2);
}

TEST_F(ReadingOrderTest, AnEmptyListIsRefusedAndChangesNothing)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow window = addWindow(pid, {});
    reader->startReading("Nothing", window.window, {}, "");
    advance(2);
    EXPECT_FALSE(reader->isReading());
    EXPECT_EQ(logCount("[ArticleReader] ❌ 没有提取到段落"), 1u);
    EXPECT_EQ(overlayOnScreen(), nullptr);
    EXPECT_THAT(requestedInputs(), IsEmpty());
}

// A server that answers with megabytes of audio is not read ahead without end: generation waits
// while the audio queued ahead of playback is over the player's cap, and goes on as it plays.
TEST_F(ReadingOrderTest, GenerationWaitsWhileTheAudioAheadIsOverTheCapAndGoesOnAsPlaybackDrainsIt)
{
    // About 150 KB of audio an answer; the cap holds one answer ahead but not two.
    ASSERT_FALSE(server->control({ { "answerBytes", 200000 } }));
    constexpr size_t cap = 225000;
    AudioPlayer& player = reader->player();
    {
        std::lock_guard guard(player.lock);
        player.maxQueuedBytes = cap;
    }
    auto bytesAhead = [&] {
        std::lock_guard guard(player.lock);
        size_t bytes = 0;
        for (const AudioSegment& segment : player.queue)
            bytes += segment.mp3Data.size();
        return bytes;
    };
    std::vector<std::string> texts;
    for (int i = 0; i < 8; ++i)
        texts.push_back("Paragraph " + std::to_string(i) + " is long.");
    startReading(addWindow(addApplication("com.apple.TextEdit"), texts));

    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(requestedInputs().size(), 3u) << "one playing, two ahead, then the loop waits";
    EXPECT_GT(bytesAhead(), cap);
    EXPECT_LT(bytesAhead(), 2 * cap);

    size_t mostAhead = 0;
    ASSERT_TRUE(advanceUntil([&] {
        mostAhead = std::max(mostAhead, bytesAhead());
        return readingEnded();
    }, 900, 1));
    EXPECT_LT(mostAhead, 2 * cap);
    EXPECT_EQ(requestedInputs(), texts);
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "2/0", "3/0", "4/0", "5/0", "6/0", "7/0"));
    EXPECT_EQ(finishedCount, 1);
}

} // namespace
} // namespace lorvantine::test
