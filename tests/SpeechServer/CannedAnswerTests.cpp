// The canned server answers at once, but with the same cut of the text as the real one,
// so the cutting rules are checked here where no synthesis slows them down.

#include "Mp3Probe.h"
#include "SpeechServerClient.h"

#include <gtest/gtest.h>

using namespace lorvantine::speechserver::testing;

namespace {

class SpeechServerCanned : public SharedServerTest<> {
protected:
    static nlohmann::json speak(const std::string& input, const std::string& voice = "af_heart")
    {
        auto reply = postSpeech(*server, speechRequest(input, voice));
        EXPECT_EQ(reply.status, 200) << reply.body;
        return reply.json;
    }
};

TEST_F(SpeechServerCanned, audioLastsInProportionToTheTextWithEvenlySpreadWords)
{
    auto shortAnswer = speak("One two three.");
    auto longAnswer = speak("One two three four five six seven eight nine ten eleven twelve thirteen fourteen.");
    auto shortAudio = decodeMp3(decodeBase64(shortAnswer["audio"]).value_or(""));
    auto longAudio = decodeMp3(decodeBase64(longAnswer["audio"]).value_or(""));
    ASSERT_TRUE(shortAudio && longAudio);
    EXPECT_GT(longAudio->duration(), 3 * shortAudio->duration());

    auto timestamps = timestampsOf(longAnswer);
    ASSERT_EQ(timestamps.size(), 14u);
    EXPECT_EQ(timestamps[0].word, "One");
    EXPECT_EQ(timestamps[13].word, "fourteen");
    double step = timestamps[0].end - timestamps[0].start;
    for (std::size_t i = 0; i < timestamps.size(); ++i) {
        EXPECT_NEAR(timestamps[i].end - timestamps[i].start, step, 0.0015);
        if (i > 0) {
            EXPECT_EQ(timestamps[i].start, timestamps[i - 1].end);
        }
    }
    // The stream is whole frames of 576 samples, so the decoder may add less than one frame.
    EXPECT_LE(timestamps.back().end, longAudio->duration() + 0.001);
    EXPECT_GT(timestamps.back().end, longAudio->duration() - 0.03);
}

TEST_F(SpeechServerCanned, chineseWordsAreSingleIdeographs)
{
    auto answer = speak("“我们去公园吧！”他说。", "zf_001");
    std::vector<std::string> words;
    for (const auto& timestamp : timestampsOf(answer))
        words.push_back(timestamp.word);
    EXPECT_EQ(words, (std::vector<std::string>{"我", "们", "去", "公", "园", "吧"}));
    EXPECT_EQ(answer["unprocessed_text"], "他说。");
}

TEST_F(SpeechServerCanned, longTextWithoutSentenceEndIsCutAtAWordBoundary)
{
    std::string input;
    for (int i = 0; i < 40; ++i)
        input += "word" + std::to_string(i) + " ";
    input += "end";
    auto answer = speak(input);
    const std::string processed = answer["processed_text"];
    const std::string rest = answer["unprocessed_text"];
    EXPECT_EQ(processed, input.substr(0, processed.size()));
    EXPECT_LE(processed.size(), 120u);
    EXPECT_GT(processed.size(), 100u);
    EXPECT_EQ(processed + rest, input);
    EXPECT_EQ(rest.front(), ' ');
    EXPECT_NE(processed.back(), ' ');

    // Chinese without a sentence end breaks after a comma when there is one.
    std::string clauses;
    for (int i = 0; i < 20; ++i)
        clauses += "我们一起学习，";
    auto chinese = speak(clauses, "zf_001");
    EXPECT_EQ(chinese["processed_text"].get<std::string>().size(), 119u * 3);
    EXPECT_EQ(chinese["unprocessed_text"].get<std::string>(), clauses.substr(119 * 3));
}

TEST_F(SpeechServerCanned, cutsNeverSplitACharacter)
{
    std::string decomposed;  // "é" as e + combining acute: two code points, one Character
    for (int i = 0; i < 130; ++i)
        decomposed += "e\xCC\x81";
    auto accents = speak(decomposed);
    EXPECT_EQ(accents["processed_text"].get<std::string>().size(), 120u * 3);
    EXPECT_EQ(accents["processed_text"].get<std::string>() + accents["unprocessed_text"].get<std::string>(), decomposed);

    std::string thumbs;  // thumbs up + skin tone: two code points, 8 bytes, one Character
    for (int i = 0; i < 125; ++i)
        thumbs += "\xF0\x9F\x91\x8D\xF0\x9F\x8F\xBD";
    auto emoji = speak(thumbs);
    EXPECT_EQ(emoji["processed_text"].get<std::string>().size(), 120u * 8);
    EXPECT_EQ(emoji["unprocessed_text"].get<std::string>().size(), 5u * 8);

    std::string han;
    for (int i = 0; i < 50; ++i)
        han += "我们一起学习";
    auto chinese = speak(han, "zf_001");
    EXPECT_EQ(chinese["processed_text"].get<std::string>().size(), 120u * 3);
    EXPECT_EQ(chinese["processed_text"].get<std::string>() + chinese["unprocessed_text"].get<std::string>(), han);
}

TEST_F(SpeechServerCanned, answersAreNeverCompressed)
{
    auto raw = client(*server);
    raw.set_decompress(false);
    const httplib::Headers headers {{"Accept-Encoding", "gzip, deflate, br"}};
    auto result = raw.Post(SpeechServerProcess::speechPath, headers, speechRequest("One two three.").dump(), "application/json");
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->has_header("Content-Encoding"));
    EXPECT_EQ(nlohmann::json::parse(result->body, nullptr, false).value("processed_text", ""), "One two three.");
}

TEST_F(SpeechServerCanned, sentenceEndsNeedSpaceAfterAFullStopButNotAfterAWideOne)
{
    EXPECT_EQ(speak("See example.com for more. Thanks.")["processed_text"], "See example.com for more.");
    EXPECT_EQ(speak("Stop?! \"Yes.\" Go.")["processed_text"], "Stop?!");
    EXPECT_EQ(speak("He said \"Yes.\" Then left.")["processed_text"], "He said \"Yes.\"");
    EXPECT_EQ(speak("Title。Body text.")["processed_text"], "Title。");
    auto leading = speak("  \n Leading space. Next.");
    EXPECT_EQ(leading["processed_text"], "Leading space.");
    EXPECT_EQ(leading["unprocessed_text"], " Next.");
}

}
