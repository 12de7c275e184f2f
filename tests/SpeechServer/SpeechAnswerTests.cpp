// The synthesising server: what one answer speaks, what it leaves, and whether its audio
// and word times belong together.

#include "Mp3Probe.h"
#include "SpeechServerClient.h"

#include <gtest/gtest.h>

using namespace lorvantine::speechserver::testing;

namespace {

class SpeechServerAnswer : public SharedServerTest<SpeechServerProcess::Speech::synthesised> {
protected:
    static nlohmann::json speak(const std::string& input, const std::string& voice = "af_heart")
    {
        auto reply = postSpeech(*server, speechRequest(input, voice));
        EXPECT_EQ(reply.status, 200) << reply.body;
        EXPECT_TRUE(reply.json.is_object()) << reply.body;
        return reply.json;
    }

    static std::string mp3Of(const nlohmann::json& answer)
    {
        return decodeBase64(answer.value("audio", "")).value_or("");
    }
};

std::string trimmed(const std::string& text)
{
    auto first = text.find_first_not_of(" \t\n");
    auto last = text.find_last_not_of(" \t\n");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

TEST_F(SpeechServerAnswer, speaksOneEnglishSentenceAtATimeAndReturnsTheRestUntrimmed)
{
    const std::string input = "The quick fox jumps. It costs 3.50 dollars today!  Then it rests.";
    auto first = speak(input);
    EXPECT_EQ(first["processed_text"], "The quick fox jumps.");
    EXPECT_EQ(first["unprocessed_text"], " It costs 3.50 dollars today!  Then it rests.");
    std::vector<std::string> words;
    for (const auto& timestamp : timestampsOf(first))
        words.push_back(timestamp.word);
    EXPECT_EQ(words, (std::vector<std::string>{"The", "quick", "fox", "jumps"}));

    // A decimal point is not a sentence end.
    auto second = speak(trimmed(first["unprocessed_text"]));
    EXPECT_EQ(second["processed_text"], "It costs 3.50 dollars today!");
    EXPECT_EQ(second["unprocessed_text"], "  Then it rests.");

    auto third = speak(trimmed(second["unprocessed_text"]));
    EXPECT_EQ(third["processed_text"], "Then it rests.");
    EXPECT_EQ(third["unprocessed_text"], "");
}

TEST_F(SpeechServerAnswer, speaksOneChineseSentenceWithItsClosingQuote)
{
    auto first = speak("他说：“走吧。”然后离开了。明天见！", "zf_001");
    EXPECT_EQ(first["processed_text"], "他说：“走吧。”");
    EXPECT_EQ(first["unprocessed_text"], "然后离开了。明天见！");

    auto second = speak("今天天气很好！我们去公园吧", "zm_010");
    EXPECT_EQ(second["processed_text"], "今天天气很好！");
    EXPECT_EQ(second["unprocessed_text"], "我们去公园吧");
    std::string spokenWords;
    for (const auto& timestamp : timestampsOf(second))
        spokenWords += timestamp.word;
    EXPECT_EQ(spokenWords, "今天天气很好");
    EXPECT_TRUE(decodeMp3(mp3Of(second)).has_value());
}

TEST_F(SpeechServerAnswer, wordTimesAreOrderedAndLieWithinTheDecodedAudio)
{
    auto answer = speak("Seven silver swans swam silently seaward, singing softly under the evening sky.");
    auto decoded = decodeMp3(mp3Of(answer));
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->format.sampleRate, 22050);
    EXPECT_EQ(decoded->format.channels, 1);
    EXPECT_GT(decoded->duration(), 1.0);

    auto timestamps = timestampsOf(answer);
    ASSERT_EQ(timestamps.size(), 12u);
    EXPECT_EQ(timestamps.front().start, 0);
    const std::string processed = answer["processed_text"];
    std::size_t searchFrom = 0;
    for (std::size_t i = 0; i < timestamps.size(); ++i) {
        SCOPED_TRACE(timestamps[i].word);
        EXPECT_LE(timestamps[i].start, timestamps[i].end);
        if (i > 0) {
            EXPECT_DOUBLE_EQ(timestamps[i].start, timestamps[i - 1].end);
        }
        auto at = processed.find(timestamps[i].word, searchFrom);
        ASSERT_NE(at, std::string::npos);
        searchFrom = at + timestamps[i].word.size();
    }
    // The last word ends with the audio, which decodes to exactly the synthesised length.
    EXPECT_NEAR(timestamps.back().end, decoded->duration(), 0.002);
}

TEST_F(SpeechServerAnswer, voiceCodesChooseTheLanguage)
{
    // Only the Mandarin voice reads Han characters one syllable, and so one word, at a time.
    const std::string text = "今天天气很好。";
    for (const std::string voice : {"zf_001", "zm_010"})
        EXPECT_EQ(timestampsOf(speak(text, voice)).size(), 6u) << voice;
    for (const std::string voice : {"af_heart", "bf_emma", "am_adam", "xx_unknown"})
        EXPECT_EQ(timestampsOf(speak(text, voice)).size(), 1u) << voice;
    EXPECT_TRUE(decodeMp3(mp3Of(speak("Tomatoes and water.", "bm_george"))).has_value());
}

TEST_F(SpeechServerAnswer, emptyOrBlankInputSpeaksNothing)
{
    for (const std::string input : {"", "   \n "}) {
        auto answer = speak(input);
        EXPECT_EQ(answer["processed_text"], "");
        EXPECT_EQ(answer["audio"], "");
        EXPECT_EQ(answer["timestamps"], nlohmann::json::array());
    }
}

TEST_F(SpeechServerAnswer, malformedRequestsGetA400WithAJsonError)
{
    const std::vector<std::string> bodies{
        "not json", "[1, 2]", "{}", R"({"input": 5})", R"({"input": "a", "speed": -1})",
        R"({"input": "a", "voice_code": 7})", "{\"input\": \"\xFF\xFE\"}", R"({"input": "a")",
    };
    for (const auto& body : bodies) {
        SCOPED_TRACE(body);
        auto reply = postSpeech(*server, body);
        EXPECT_EQ(reply.status, 400);
        ASSERT_TRUE(reply.json.is_object());
        EXPECT_TRUE(reply.json["error"].is_string());
    }
    auto log = requestLog(*server);
    EXPECT_EQ(log["requests"].size(), bodies.size());
    EXPECT_EQ(speak("Still here.")["processed_text"], "Still here.");
}

TEST_F(SpeechServerAnswer, otherPathsAreNotFoundButLogged)
{
    auto http = client(*server);
    auto wrong = http.Post("/api/captioned_speech", speechRequest("Hi.").dump(), "application/json");
    ASSERT_TRUE(wrong);
    EXPECT_EQ(wrong->status, 404);
    auto get = http.Get("/api/captioned_speech_partly");
    ASSERT_TRUE(get);
    EXPECT_EQ(get->status, 404);
    auto log = requestLog(*server)["requests"];
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0]["path"], "/api/captioned_speech");
    EXPECT_EQ(log[1]["method"], "GET");
}

TEST_F(SpeechServerAnswer, oversizedBodiesAreRefused)
{
    std::string huge(2 * 1024 * 1024, 'a');
    auto reply = postSpeech(*server, speechRequest(huge));
    EXPECT_EQ(reply.status, 413);
    EXPECT_EQ(speak("Still here.")["processed_text"], "Still here.");
}

}
