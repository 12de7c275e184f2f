// Speech requests that finally fail: logged for each paragraph, reported to the owner once per
// reading and only before anything has played; the reading goes on past the failed paragraphs.

#include "Reading/ReadingTestSupport.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::vector<std::string> threeParagraphs { "The first one fails.", "So does the second.", "And the third." };

class SpeechErrorTest : public ReadingTest { };

TEST_F(SpeechErrorTest, AServerThatFailsEveryParagraphIsReportedOnceAndTheReadingStillEnds)
{
    server->fault("404");
    startReading(addWindow(addApplication("com.apple.TextEdit"), threeParagraphs));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_EQ(requestedInputs().size(), 3u) << "a failed paragraph does not stop the loop";
    EXPECT_EQ(logCount("[ArticleReader] tts err para["), 3u);
    EXPECT_TRUE(log.contains("[ArticleReader] tts err para[2]: HTTP 404: "));
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].domain, "TTS");
    EXPECT_EQ(errors[0].code, 404);
    EXPECT_THAT(plays(), IsEmpty());
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(SpeechErrorTest, FailuresAfterTheFirstAudioAreOnlyLogged)
{
    startReading(addWindow(addApplication("com.apple.TextEdit"), threeParagraphs));
    ASSERT_TRUE(advanceUntil([&] { return firstPlayingCount == 1; }));

    server->fault("404");
    reader->seekToParagraph(1);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_EQ(logCount("[ArticleReader] tts err para[1]"), 1u);
    EXPECT_EQ(logCount("[ArticleReader] tts err para[2]"), 1u);
    EXPECT_THAT(errors, IsEmpty());
}

TEST_F(SpeechErrorTest, EachReadingReportsItsOwnFailureAndAStoppedOneNone)
{
    server->control({ { "fault", "500" }, { "delayMs", 50 } });
    ProcessID pid = addApplication("com.apple.TextEdit");
    startReading(addWindow(pid, threeParagraphs));
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));
    reader->stop();
    advance(30);
    EXPECT_THAT(errors, IsEmpty()) << "the failure of a stopped reading concerns nobody";

    server->reset();
    server->fault("404");
    startReading(addWindow(pid, threeParagraphs));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_EQ(errors.size(), 1u);

    startReading(addWindow(pid, threeParagraphs));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_EQ(errors.size(), 2u);
}

} // namespace
} // namespace lorvantine::test
