// Pause, seek, voice change and stop while a reading runs: each starts afresh from the right
// paragraph, and nothing produced for what came before plays or ends the reading.

#include "Reading/ReadingTestSupport.h"

#include "Network/TTSClient.h"
#include "Platform/HttpPort.h"

#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/View.h"
#include "Player/MiniPlayer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::string> fiveParagraphs {
    "Paragraph zero opens the text.", "Paragraph one follows it.", "Paragraph two is in the middle.",
    "Paragraph three comes later.", "Paragraph four ends it all.",
};

class ControlsTest : public ReadingTest {
protected:
    ReadingWindow openFiveParagraphs()
    {
        return addWindow(addApplication("com.apple.TextEdit"), fiveParagraphs);
    }

    // Paragraph 0 is playing and the request for paragraph 1 is held by the server until the
    // test lets it go (which it must before it moves the clock: a step waits for every exchange).
    void startWithTheSecondRequestHeld(const ReadingWindow& window)
    {
        ASSERT_FALSE(server->control({ { "hold", true }, { "release", 1 } }));
        startReading(window);
        ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 2; }));
        ASSERT_FALSE(server->speechRequests()[1].completionMs);
        ASSERT_THAT(plays(), ElementsAre("0/0"));
    }

    // The speech client has handled everything it had been given: what its completions posted
    // to the main queue is there.
    void drainSpeechClient() { sessionSpeechClient->session().delegateQueue().sync([] { }); }
};

TEST_F(ControlsTest, PauseHoldsPlaybackWhereItIsAndResumeGoesOn)
{
    EXPECT_FALSE(reader->togglePause()) << "nothing is loaded yet";
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), { fiveParagraphs[0], fiveParagraphs[1] });
    startReading(window);

    ASSERT_TRUE(advanceUntil([&] { return firstPlayingCount == 1; }));
    advance(0.2);
    EXPECT_FALSE(reader->togglePause());
    advance(10);
    EXPECT_THAT(plays(), ElementsAre("0/0"));
    EXPECT_TRUE(reader->isReading());

    EXPECT_TRUE(reader->togglePause());
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0"));
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(ControlsTest, SeekCancelsTheRequestInFlightAndReadsOnFromTheSoughtParagraph)
{
    startWithTheSecondRequestHeld(openFiveParagraphs());

    reader->seekToParagraph(3);
    EXPECT_EQ(reader->seekTarget(), 3);
    EXPECT_TRUE(log.contains("[ArticleReader] seek → para[3] gen="));
    ASSERT_TRUE(pumpUntil([&] { return log.contains("[ArticleReader] tts err para[1]: cancelled"); }));
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_THAT(requestedInputs(), ElementsAre(fiveParagraphs[0], fiveParagraphs[1], fiveParagraphs[3], fiveParagraphs[4]));
    EXPECT_EQ(logCount("[Audio] enqueue para=1"), 0u);
    EXPECT_THAT(plays(), ElementsAre("0/0", "3/0", "4/0"));
    EXPECT_EQ(reader->seekTarget(), std::nullopt) << "cleared once the sought generation is produced";
    EXPECT_EQ(finishedCount, 1);
}

// The threads of the dispatch pool, which never end once started.
int poolThreadCount()
{
    int count = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(task.path() / "comm");
        std::string name;
        if (std::getline(comm, name) && name == "lv-pool")
            ++count;
    }
    return count;
}

TEST_F(ControlsTest, SeeksFasterThanTheServerAnswersHoldNoThreadAndTheLastOneIsRead)
{
    // A held next-paragraph key against a server that answers nothing meanwhile: every seek
    // abandons the one before while its request is still unanswered.
    ASSERT_FALSE(server->control({ { "hold", true } }));
    std::vector<std::string> texts;
    for (int i = 0; i < 10; ++i)
        texts.push_back("Paragraph " + std::to_string(i) + " is one of ten.");
    startReading(addWindow(addApplication("com.apple.TextEdit"), texts));
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));
    const int threadsBefore = poolThreadCount();

    for (size_t k = 0; k < 100; ++k) {
        reader->seekToParagraph(static_cast<int>((k + 1) % 10));
        ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == k + 2; })) << "seek " << k;
    }
    EXPECT_LE(poolThreadCount(), threadsBefore + 4);
    ASSERT_FALSE(server->control({ { "hold", false } }));

    ASSERT_TRUE(pumpUntil([&] { return log.contains("[Audio] enqueue para=0"); }, 10s)) << "the last seek's paragraph never came";
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "2/0", "3/0", "4/0", "5/0", "6/0", "7/0", "8/0", "9/0"));
    EXPECT_EQ(finishedCount, 1);
    EXPECT_LE(poolThreadCount(), threadsBefore + 4);
}

TEST_F(ControlsTest, SeeksOutsideTheListOrWhileIdleAreIgnored)
{
    reader->seekToParagraph(0);
    EXPECT_EQ(reader->seekTarget(), std::nullopt);

    startReading(openFiveParagraphs());
    reader->seekToParagraph(5);
    reader->seekToParagraph(-1);
    EXPECT_EQ(reader->seekTarget(), std::nullopt);
    EXPECT_FALSE(log.contains("[ArticleReader] seek"));
}

TEST_F(ControlsTest, AnEarlierSeekEndingDoesNotClearTheTargetOfALaterOne)
{
    // The server holds every answer, so each seek finds the request before it still unanswered.
    server->control({ { "hold", true } });
    startReading(openFiveParagraphs());
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));

    reader->seekToParagraph(2);
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 2; }));
    reader->seekToParagraph(3);
    // The earlier seek's request is cancelled, which ends its generation while the later one's
    // request is still held.
    ASSERT_TRUE(pumpUntil([&] { return log.contains("[ArticleReader] tts err para[2]: cancelled"); }));
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 3; }));
    // The earlier generation ends on the speech client's queue right after its error, and posts
    // its end to the main queue.
    drainSpeechClient();
    RunLoop::runPending();
    EXPECT_EQ(reader->seekTarget(), 3) << "the shell's next step must start from the last seek";

    server->control({ { "hold", false } });
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_EQ(reader->seekTarget(), std::nullopt);
    EXPECT_THAT(requestedInputs(), ElementsAre(fiveParagraphs[0], fiveParagraphs[2], fiveParagraphs[3], fiveParagraphs[4]));
    EXPECT_THAT(plays(), ElementsAre("3/0", "4/0"));
}

TEST_F(ControlsTest, VoiceChangeReplaysTheParagraphPlayingWithTheNewVoiceOnly)
{
    startWithTheSecondRequestHeld(openFiveParagraphs());
    reader->setVoice("af_heart");
    EXPECT_FALSE(log.contains("switch voice")) << "the voice in use changes nothing";

    reader->setVoice("af_bella");
    EXPECT_TRUE(log.contains("[ArticleReader] 🎙 switch voice → af_bella, replay from para[0] gen="));
    ASSERT_TRUE(pumpUntil([&] { return log.contains("[ArticleReader] tts err para[1]: cancelled"); }));
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    std::vector<std::string> voices;
    for (const auto& request : server->speechRequests())
        voices.push_back(request.input.value_or("") + " @" + request.voiceCode.value_or(""));
    EXPECT_THAT(voices, ElementsAre(fiveParagraphs[0] + " @af_heart", fiveParagraphs[1] + " @af_heart", fiveParagraphs[0] + " @af_bella",
                                    fiveParagraphs[1] + " @af_bella", fiveParagraphs[2] + " @af_bella",
                                    fiveParagraphs[3] + " @af_bella", fiveParagraphs[4] + " @af_bella"));
    EXPECT_EQ(logCount("[Audio] enqueue para=1"), 1u) << "paragraph 1 in the old voice never reaches the player";
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/0", "1/0", "2/0", "3/0", "4/0"));
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(ControlsTest, AVoiceChangeWhileTheNextPageIsFetchedReplaysNothingOfThePageHeard)
{
    std::vector<ArticleReader::NextPageCompletion> pageRequests;
    reader->onNeedNextPage = [&](ArticleReader::NextPageCompletion completion) { pageRequests.push_back(std::move(completion)); };
    startReading(addWindow(addApplication("com.apple.TextEdit"), { fiveParagraphs[0], fiveParagraphs[1] }));
    ASSERT_TRUE(advanceUntil([&] { return !pageRequests.empty(); }));
    ASSERT_THAT(plays(), ElementsAre("0/0", "1/0"));

    // The person picks two voices in turn while the page turns.
    reader->setVoice("af_bella");
    advance(1);
    reader->setVoice("am_adam");
    advance(1);
    ASSERT_EQ(pageRequests.size(), 1u);
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0"));

    ArticleParagraph next;
    next.text = fiveParagraphs[2];
    std::exchange(pageRequests, {}).front()({ { next } });
    ASSERT_TRUE(advanceUntil([&] { return !pageRequests.empty(); }));
    pageRequests.front()(std::nullopt);
    ASSERT_TRUE(readingEnded());

    std::vector<std::string> voices;
    for (const auto& request : server->speechRequests())
        voices.push_back(request.input.value_or("") + " @" + request.voiceCode.value_or(""));
    EXPECT_THAT(voices, ElementsAre(fiveParagraphs[0] + " @af_heart", fiveParagraphs[1] + " @af_heart", fiveParagraphs[2] + " @am_adam"));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "0/0"));
}

TEST_F(ControlsTest, TwoVoiceChangesInQuickSuccessionBothReplayFromTheParagraphPlaying)
{
    startReading(openFiveParagraphs());
    ASSERT_TRUE(advanceUntil([&] { return plays().size() == 3; }, 60, 0.05));
    ASSERT_EQ(plays().back(), "2/0");

    // The first change's request is still unanswered when the second comes.
    ASSERT_FALSE(server->control({ { "hold", true } }));
    reader->setVoice("af_bella");
    reader->setVoice("am_adam");
    EXPECT_TRUE(log.contains("[ArticleReader] 🎙 switch voice → am_adam, replay from para[2] gen="));
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "2/0", "2/0", "3/0", "4/0"));
}

TEST_F(ControlsTest, StopCancelsTheRequestInFlightAndNeverReportsAFinish)
{
    ASSERT_FALSE(server->control({ { "hold", true } }));
    reader->onNeedNextPage = [](ArticleReader::NextPageCompletion) { ADD_FAILURE() << "a stopped reading asks for no page"; };
    startReading(openFiveParagraphs());
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));
    ASSERT_NE(overlayOnScreen(), nullptr);

    reader->stop();
    EXPECT_EQ(overlayOnScreen(), nullptr) << "taken down at once";
    EXPECT_FALSE(reader->isReading());
    EXPECT_FALSE(reader->onNeedNextPage);
    reader->stop();
    ASSERT_TRUE(pumpUntil([&] { return log.contains("[ArticleReader] tts err para[0]: cancelled"); }));
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(server->waitForAnsweredSpeechRequests(1));
    advance(3);

    EXPECT_THAT(requestedInputs(), ElementsAre(fiveParagraphs[0]));
    EXPECT_TRUE(log.contains("[ArticleReader] tts err para[0]: cancelled")) << "the request in flight is given up";
    EXPECT_EQ(logCount("[Audio] enqueue"), 0u);
    EXPECT_THAT(plays(), IsEmpty());
    EXPECT_EQ(logCount("[ArticleReader] STOP CALLED: "), 2u) << "a second stop is harmless";
    EXPECT_EQ(finishedCount, 0);
    EXPECT_EQ(firstPlayingCount, 0);
    EXPECT_THAT(errors, IsEmpty());
    EXPECT_EQ(overlayOnScreen(), nullptr);
}

TEST_F(ControlsTest, AVoiceChangeRightAfterASeekReplaysTheSoughtParagraph)
{
    startWithTheSecondRequestHeld(openFiveParagraphs());

    reader->seekToParagraph(3);
    reader->setVoice("af_bella");
    EXPECT_TRUE(log.contains("[ArticleReader] 🎙 switch voice → af_bella, replay from para[3] gen="));
    EXPECT_EQ(reader->seekTarget(), 3) << "still being made, now in the new voice";
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_THAT(plays(), ElementsAre("0/0", "3/0", "4/0"));
    EXPECT_EQ(server->speechRequests().back().voiceCode, "af_bella");
    EXPECT_EQ(reader->seekTarget(), std::nullopt);
}

TEST_F(ControlsTest, AVoiceChangeAfterTheSoughtParagraphsWereHeardReplaysNoneOfThem)
{
    ASSERT_FALSE(server->control({ { "hold", true } }));
    startReading(openFiveParagraphs());
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));
    reader->seekToParagraph(1);
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 2; }));
    ASSERT_NE(server->speechRequests()[1].body.find(fiveParagraphs[1]), std::string::npos);
    // The two held answers (paragraph 0's, given up, and paragraph 1's) go, and paragraph 2's
    // after them; paragraph 3's is held.
    ASSERT_FALSE(server->control({ { "release", 3 } }));
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 4; }));
    ASSERT_NE(server->speechRequests()[3].body.find(fiveParagraphs[3]), std::string::npos);
    ASSERT_TRUE(pumpUntil([&] { return log.contains("[Audio] enqueue para=2"); }));

    // Paragraphs 1 and 2 play to their end while paragraph 3 is still being made. The clock moves
    // by itself here: a step of `advance` would wait for the held request.
    for (int step = 0; step < 200 && !log.contains("[Audio] finished para=2"); ++step) {
        clock->advance(seconds(0.1));
        RunLoop::runPending();
    }
    ASSERT_TRUE(log.contains("[Audio] finished para=2"));
    // Nothing plays or waits now, and the seek's paragraphs are still being made.

    reader->setVoice("af_bella");
    EXPECT_TRUE(log.contains("[ArticleReader] 🎙 switch voice → af_bella, replay from para[3] gen="));
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("1/0", "2/0", "3/0", "4/0"));
    EXPECT_EQ(server->speechRequests().back().voiceCode, "af_bella");
    // The held answer must not reach the log of the next test.
    EXPECT_TRUE(pumpUntil(
        [&] {
            for (const auto& request : server->speechRequests())
                if (!request.completionMs)
                    return false;
            return true;
        },
        std::chrono::seconds(6)));
}

TEST_F(ControlsTest, APausePressedWhileTheSoughtParagraphIsMadeHoldsItsAudio)
{
    ReadingWindow window = openFiveParagraphs();
    showMiniPlayer(window.window);
    startWithTheSecondRequestHeld(window);
    auto playButton = [&] {
        const auto& card = miniPlayer->panel()->contentView()->subviews().at(0);
        auto* button = dynamic_cast<const Button*>(card->subviews().at(1).get());
        return button && button->image() ? button->image()->name() : "";
    };

    reader->seekToParagraph(3);
    EXPECT_FALSE(reader->togglePause());
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(advanceUntil([&] { return plays().size() == 2; }));
    advance(10);
    EXPECT_THAT(plays(), ElementsAre("0/0", "3/0"));
    EXPECT_EQ(playButton(), "play.fill");

    EXPECT_TRUE(reader->togglePause());
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "3/0", "4/0"));
}

class StaleFinishTest : public ReadingTest {
protected:
    // Plays to the end of the last piece with the clock moved by hand: the player's "all played"
    // is posted to the main queue but has not run yet.
    void playToTheEndWithoutRunningTheMainQueue(const ReadingWindow& window)
    {
        startReading(window);
        ASSERT_TRUE(advanceUntil([&] { return plays().size() == window.elements.size(); }));
        clock->advance(seconds(10));
        ASSERT_TRUE(log.contains("[Audio] finished para=" + std::to_string(window.elements.size() - 1)));
        ASSERT_TRUE(reader->isReading());
    }
};

TEST_F(StaleFinishTest, AFinishOvertakenByASeekDoesNotEndTheReading)
{
    ReadingWindow window = addWindow(addApplication("com.apple.TextEdit"), { fiveParagraphs[0], fiveParagraphs[1] });
    playToTheEndWithoutRunningTheMainQueue(window);

    reader->seekToParagraph(0);
    RunLoop::runPending();
    EXPECT_TRUE(reader->isReading());
    EXPECT_EQ(finishedCount, 0);

    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "0/0", "1/0"));
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(StaleFinishTest, AFinishOfAStoppedReadingDoesNotEndTheNextOne)
{
    ProcessID pid = addApplication("com.apple.TextEdit");
    ReadingWindow first = addWindow(pid, { fiveParagraphs[0] });
    ReadingWindow second = addWindow(pid, { fiveParagraphs[3], fiveParagraphs[4] });
    playToTheEndWithoutRunningTheMainQueue(first);

    reader->stop();
    startReading(second);
    RunLoop::runPending();
    EXPECT_TRUE(reader->isReading());
    EXPECT_EQ(finishedCount, 0);

    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_THAT(plays(), ElementsAre("0/0", "0/0", "1/0"));
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(logCount("[ArticleReader] ✓ 播放完成"), 1u);
}

} // namespace
} // namespace lorvantine::test
