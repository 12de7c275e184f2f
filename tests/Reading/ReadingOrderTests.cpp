// A whole reading from start to end: what goes to the speech server, in what order, what plays,
// and what the owner, the overlay and the mini player hear.

#include "Reading/ReadingTestSupport.h"

#include "Audio/AudioPlayer.h"
#include "Player/MiniPlayer.h"
#include "Preferences/PreferencesModel.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using ::testing::Contains;
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
    reader->floatingPlayer = std::make_shared<MiniPlayer>();
    startReading(window);
    EXPECT_TRUE(reader->isReading());

    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_THAT(requestedInputs(), ElementsAre("The first paragraph is short.", "The second one has two sentences. Here is the other.",
                                               "Here is the other.", "The fourth paragraph closes the page."))
        << "the empty paragraph is passed over without a request";
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::concurrency, 1)));
    EXPECT_THAT(server->speechRequests(), Each(Field(&SpeechServerRequest::voiceCode, "af_heart")));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "1/33", "3/0"))
        << "the second part of paragraph 1 starts after the 33 Characters of its first";

    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(firstPlayingCount, 1);
    EXPECT_THAT(errors, IsEmpty());
    EXPECT_EQ(logCount("[ArticleReader] ✓ 播放完成"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] ▶ \"Document\" — 4 段"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] 语言=en 音色=af_heart 语速=1.5"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] ✓ para[1] 2 parts"), 1u);

    EXPECT_THAT(PanelJournal::entriesStartingWith("mini.setProgress"),
                ElementsAre("mini.setProgress 1/4", "mini.setProgress 2/4", "mini.setProgress 2/4", "mini.setProgress 4/4"));
    EXPECT_THAT(PanelJournal::entriesStartingWith("mini.configureForLanguage"), ElementsAre("mini.configureForLanguage en"));
    auto overlay = PanelJournal::entriesStartingWith("overlay.");
    ASSERT_FALSE(overlay.empty());
    EXPECT_EQ(overlay.front(), "overlay.attach 4");
    EXPECT_EQ(overlay.back(), "overlay.detach");
    EXPECT_THAT(PanelJournal::entriesStartingWith("overlay.setCurrent"),
                ElementsAre("overlay.setCurrent 0", "overlay.setCurrent 1", "overlay.setCurrent 1", "overlay.setCurrent 3"));
}

TEST_F(ReadingOrderTest, ChoosesTheVoiceAndSpeedStoredForTheDetectedLanguage)
{
    defaults->set(PreferencesModel::Key::defaultVoiceZh, "zf_017");
    defaults->set(PreferencesModel::Key::defaultSpeedZh, 2.0f);
    defaults->set(PreferencesModel::Key::defaultSpeedEn, 0.0f);
    ProcessID pid = addApplication("com.apple.Notes");
    ReadingWindow chinese = addWindow(pid, { "今天的天气很好，我们一起去公园散步吧。" });
    startReading(chinese);
    EXPECT_TRUE(reader->detectedIsZh());
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
    EXPECT_FALSE(reader->detectedIsZh());
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
    EXPECT_THAT(PanelJournal::entries(), IsEmpty());
    EXPECT_THAT(requestedInputs(), IsEmpty());
}

TEST_F(ReadingOrderTest, MarksTheSpokenWordsOnceTheirRectanglesAreMeasured)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    // Narrow enough to wrap: a one-line element cannot tell a character's bounds from its own.
    ReadingWindow window = addWindow(pid, { "Every word of this sentence is marked while it is spoken aloud." }, Rect(100, 60, 200, 400));
    startReading(window);
    ASSERT_TRUE(advanceUntil([&] { return firstPlayingCount == 1; }));
    advance(1);

    EXPECT_EQ(logCount("[SubHL] segment switch: para[0] offset=0"), 1u);
    EXPECT_THAT(PanelJournal::entries(), Contains("overlay.setSubHighlightDelta"))
        << "rectangles measured through accessibility stand where the text is";
    EXPECT_THAT(PanelJournal::entries(), Contains("overlay.setSubHighlight 1"));

    reader->stop();
    PanelJournal::clear();
    advance(1);
    EXPECT_THAT(PanelJournal::entriesStartingWith("overlay.setSubHighlight"), IsEmpty()) << "the tick stops with the reading";
}

} // namespace
} // namespace lorvantine::test
