// Speech requests that finally fail: logged for each paragraph, reported to the owner once per
// reading and only before anything has played; the reading goes on past the failed paragraphs.

#include "Reading/ReadingTestSupport.h"
#include "Reading/ScriptedSpeechSession.h"

#include "Network/TTSClient.h"
#include "TestSupport/Mp3Fixture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

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
    // The failure is held back until the reading has been stopped.
    ASSERT_FALSE(server->control({ { "fault", "500" }, { "hold", true } }));
    ProcessID pid = addApplication("com.apple.TextEdit");
    startReading(addWindow(pid, threeParagraphs));
    ASSERT_TRUE(pumpUntil([&] { return server->speechRequests().size() == 1; }));
    reader->stop();
    ASSERT_FALSE(server->control({ { "hold", false } }));
    ASSERT_TRUE(server->waitForAnsweredSpeechRequests(1));
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

TEST_F(SpeechErrorTest, AnswersThatSpeakNothingAreNotLoggedAsSpoken)
{
    server->fault("silent");
    startReading(addWindow(addApplication("com.apple.TextEdit"), { "Nothing comes out. Not even here." }));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_TRUE(log.contains("[ArticleReader] ⚠ para[0] 2 parts, nothing spoken — text=\"Nothing comes out. Not even here.\""));
    EXPECT_FALSE(log.contains("[ArticleReader] ✓ para["));
}

TEST_F(SpeechErrorTest, TwoParagraphsLostToTheConnectionDoNotEndTheReading)
{
    // Three attempts for each of the first two paragraphs, then the server answers again.
    server->fault("hangupx6");
    startReading(addWindow(addApplication("com.apple.TextEdit"), threeParagraphs));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));
    EXPECT_EQ(logCount("[ArticleReader] tts err para["), 2u);
    EXPECT_THAT(plays(), ElementsAre("2/0"));
    EXPECT_EQ(finishedCount, 1);
}

// A port on this machine where nothing listens.
int closedPort()
{
    const int socket = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ::bind(socket, reinterpret_cast<sockaddr*>(&address), sizeof address);
    ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(socket);
    return ntohs(address.sin_port);
}

class UnreachableServerTest : public ReadingTest {
protected:
    UnreachableServerTest()
    {
        sessionSpeechClient = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin", .usBaseURL = address, .cnBaseURL = address });
    }
    const std::string address = "http://127.0.0.1:" + std::to_string(closedPort());
};

TEST_F(UnreachableServerTest, EndsTheReadingAfterThreeParagraphsInARowWithOneErrorNamingTheServer)
{
    std::vector<ErrorValue> unavailable;
    reader->onSpeechUnavailable = [&](const ErrorValue& error) { unavailable.push_back(error); };
    std::vector<std::string> texts;
    for (int i = 0; i < 50; ++i)
        texts.push_back("Paragraph " + std::to_string(i) + " is never heard.");
    startReading(addWindow(addApplication("com.apple.TextEdit"), texts));
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }));

    EXPECT_EQ(logCount("[ArticleReader] tts err para[2]: Could not connect to the server."), 1u);
    EXPECT_FALSE(log.contains("para[4]")) << "nothing is asked for past the fourth paragraph";
    EXPECT_EQ(logCount("[ArticleReader] ❌ 连不上语音服务器 " + address + "（连续 3 段"), 1u);
    ASSERT_EQ(unavailable.size(), 1u);
    EXPECT_NE(unavailable[0].description.find(address), std::string::npos) << unavailable[0].description;
    EXPECT_EQ(finishedCount, 0) << "the reading did not finish, it gave up";
    EXPECT_EQ(errors.size(), 1u);
}

// The speech server as a script: which requests fail, how, and after how long.
class ScriptedServerTest : public ReadingTest {
protected:
    ScriptedServerTest()
    {
        sessionSpeechClient = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin", .usBaseURL = "http://speech.test",
                                                            .cnBaseURL = "http://speech.test", .session = session });
    }
    void SetUp() override
    {
        ReadingTest::SetUp();
        reader->onSpeechUnavailable = [this](const ErrorValue& error) {
            unavailable.push_back(error);
            gaveUpAfter = toSeconds(clock->now() - startedAt);
        };
    }
    void start(int paragraphs)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < paragraphs; ++i)
            texts.push_back("Paragraph " + std::to_string(i) + " of the script.");
        startedAt = clock->now();
        startReading(addWindow(addApplication("com.apple.TextEdit"), texts));
    }

    std::shared_ptr<ScriptedSpeechSession> session = std::make_shared<ScriptedSpeechSession>();
    std::vector<ErrorValue> unavailable;
    double gaveUpAfter = -1;
    TimePoint startedAt {};
};

TEST_F(ScriptedServerTest, ParagraphsLostApartFromEachOtherNeverEndTheReading)
{
    // Three attempts to a paragraph: two lost, one spoken, two lost, one spoken.
    const auto tone = Mp3Fixture::toneMp3(440, 0.5);
    session->respond = [&](int number) -> ScriptedSpeechSession::Reply {
        const bool lost = (number >= 1 && number <= 6) || (number >= 8 && number <= 13);
        return { lost ? HttpResult(NSURLError::error(NSURLError::networkConnectionLost)) : ScriptedSpeechSession::spoken(tone) };
    };
    start(6);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }, 120, 0.5));

    EXPECT_EQ(session->requestCount(), 14);
    EXPECT_EQ(logCount("[ArticleReader] tts err para["), 4u);
    EXPECT_THAT(plays(), ElementsAre("2/0", "5/0"));
    EXPECT_THAT(unavailable, IsEmpty());
    EXPECT_FALSE(log.contains("连不上语音服务器"));
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(ScriptedServerTest, AServerThatHoldsEveryAttemptForMinutesIsGivenUpAfterThreeMinutes)
{
    // Each exchange runs into its overall deadline, as with a server that sends a byte now and
    // then: three attempts cost a paragraph six minutes.
    session->respond = [](int) -> ScriptedSpeechSession::Reply {
        return { NSURLError::error(NSURLError::timedOut), seconds(120) };
    };
    start(5);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }, 400, 1));

    EXPECT_NEAR(gaveUpAfter, 180, 1);
    ASSERT_EQ(unavailable.size(), 1u);
    EXPECT_NE(unavailable[0].description.find("http://speech.test"), std::string::npos) << unavailable[0].description;
    EXPECT_EQ(session->requestCount(), 2) << "the second attempt was still out when the time was up";
    EXPECT_EQ(logCount("[ArticleReader] ❌ 连不上语音服务器 http://speech.test（3 分钟只有失败: The request timed out.），朗读结束"), 1u);
    EXPECT_EQ(finishedCount, 0);
    advance(600);
    EXPECT_EQ(session->requestCount(), 2);
    EXPECT_EQ(unavailable.size(), 1u);
}

TEST_F(ScriptedServerTest, AnAnswerBetweenFailuresStartsTheThreeMinutesAgain)
{
    // Attempts fail after a minute each and every third is answered: four minutes of failures
    // in all, never three in a row.
    const auto tone = Mp3Fixture::toneMp3(440, 0.5);
    session->respond = [&](int number) -> ScriptedSpeechSession::Reply {
        if (number % 3 == 0)
            return { ScriptedSpeechSession::spoken(tone) };
        return { NSURLError::error(NSURLError::timedOut), seconds(60) };
    };
    start(3);
    ASSERT_TRUE(advanceUntil([&] { return readingEnded(); }, 600, 1));
    EXPECT_THAT(unavailable, IsEmpty());
    EXPECT_EQ(finishedCount, 1);
    EXPECT_EQ(session->requestCount(), 9);
    EXPECT_THAT(plays(), ElementsAre("0/0", "1/0", "2/0"));
}

} // namespace
} // namespace lorvantine::test
