// Fault injection: each fault changes exactly the answers it was asked for, spelled the way
// a client has to cope with.

#include "Mp3Probe.h"
#include "SpeechServerClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <optional>
#include <thread>

using namespace lorvantine::speechserver::testing;

namespace {

class SpeechServerFaults : public SharedServerTest<> {
protected:
    static SpeechReply speak(const std::string& input = "Hello there. More text follows.")
    {
        return postSpeech(*server, speechRequest(input));
    }

    static std::vector<std::string> loggedFaults()
    {
        std::vector<std::string> faults;
        auto log = requestLog(*server);
        for (const auto& entry : log["requests"])
            faults.push_back(entry["fault"]);
        return faults;
    }
};

TEST_F(SpeechServerFaults, statusFaultsLastForTheirCountThenTheServerRecovers)
{
    ASSERT_EQ(control(*server, {{"fault", "503"}, {"count", 2}}), 200);
    for (int i = 0; i < 2; ++i) {
        auto reply = speak();
        EXPECT_EQ(reply.status, 503);
        EXPECT_EQ(reply.body, "simulated failure: HTTP 503");
    }
    EXPECT_EQ(speak().status, 200);
    EXPECT_EQ(loggedFaults(), (std::vector<std::string>{"503", "503", "none"}));

    ASSERT_EQ(control(*server, {{"fault", "404x1"}, {"body", "no such model"}}), 200);
    auto notFound = speak();
    EXPECT_EQ(notFound.status, 404);
    EXPECT_EQ(notFound.body, "no such model");
    EXPECT_EQ(speak().status, 200);
}

TEST_F(SpeechServerFaults, aFaultWithoutCountStaysUntilReset)
{
    ASSERT_EQ(control(*server, {{"fault", "500"}}), 200);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(speak().status, 500);
    server->reset();
    EXPECT_EQ(speak().status, 200);
}

TEST_F(SpeechServerFaults, statusBodyMayBeRawBytes)
{
    ASSERT_EQ(control(*server, {{"fault", "502x1"}, {"bodyBase64", "/+7d"}}), 200);
    auto reply = speak();
    EXPECT_EQ(reply.status, 502);
    EXPECT_EQ(reply.body, "\xFF\xEE\xDD");
}

TEST_F(SpeechServerFaults, bodiesThatAreNotAnAnswer)
{
    ASSERT_EQ(control(*server, {{"fault", "htmlx1"}}), 200);
    auto html = speak();
    EXPECT_EQ(html.status, 200);
    EXPECT_NE(html.contentType.find("text/html"), std::string::npos);
    EXPECT_TRUE(html.json.is_discarded());

    ASSERT_EQ(control(*server, {{"fault", "emptyx1"}}), 200);
    auto empty = speak();
    EXPECT_EQ(empty.status, 200);
    EXPECT_EQ(empty.body, "");

    ASSERT_EQ(control(*server, {{"fault", "arrayx1"}}), 200);
    auto array = speak();
    EXPECT_EQ(array.status, 200);
    ASSERT_TRUE(array.json.is_array());
    EXPECT_EQ(array.json[0]["processed_text"], "Hello there.");
}

TEST_F(SpeechServerFaults, damagedAudio)
{
    ASSERT_EQ(control(*server, {{"fault", "no_audiox1"}}), 200);
    auto noAudio = speak().json;
    EXPECT_FALSE(noAudio.contains("audio"));
    EXPECT_FALSE(noAudio.contains("audio_base64"));
    EXPECT_EQ(noAudio["processed_text"], "Hello there.");

    ASSERT_EQ(control(*server, {{"fault", "bad_base64x1"}}), 200);
    auto bad = speak().json;
    ASSERT_TRUE(bad["audio"].is_string());
    EXPECT_FALSE(decodeBase64(bad["audio"]).has_value());

    // Wrapped base64 is refused by a strict decoder, yet holds the real audio.
    ASSERT_EQ(control(*server, {{"fault", "base64_newlinesx1"}}), 200);
    std::string wrapped = speak().json["audio"];
    EXPECT_NE(wrapped.find('\n'), std::string::npos);
    EXPECT_FALSE(decodeBase64(wrapped).has_value());
    std::erase(wrapped, '\n');
    EXPECT_TRUE(decodeMp3(decodeBase64(wrapped).value_or("")).has_value());

    EXPECT_TRUE(decodeMp3(decodeBase64(speak().json["audio"]).value_or("")).has_value());
}

TEST_F(SpeechServerFaults, noProgressReturnsTheWholeInputUnspoken)
{
    ASSERT_EQ(control(*server, {{"fault", "no_progress"}}), 200);
    const std::string input = "First part. Second part.";
    auto answer = speak(input).json;
    EXPECT_EQ(answer["unprocessed_text"], input);
    EXPECT_EQ(answer["processed_text"], "");
    EXPECT_EQ(answer["audio"], "");
    EXPECT_EQ(answer["timestamps"], nlohmann::json::array());

    ASSERT_EQ(control(*server, {{"fault", "silent"}}), 200);
    answer = speak(input).json;
    EXPECT_EQ(answer["processed_text"], "First part.");
    EXPECT_EQ(answer["unprocessed_text"], " Second part.");
    EXPECT_EQ(answer["audio"], "");
    EXPECT_EQ(answer["timestamps"], nlohmann::json::array());
}

TEST_F(SpeechServerFaults, hangupClosesTheConnectionWithoutABody)
{
    ASSERT_EQ(control(*server, {{"fault", "hangupx1"}}), 200);
    EXPECT_EQ(speak().status, 0) << "no complete answer reaches the client";
    EXPECT_EQ(speak().status, 200);
    EXPECT_EQ(loggedFaults(), (std::vector<std::string>{"hangup", "none"}));
}

TEST_F(SpeechServerFaults, delayHoldsTheAnswerBack)
{
    ASSERT_EQ(control(*server, {{"delayMs", 150}, {"count", 1}}), 200);
    EXPECT_EQ(speak().status, 200);
    EXPECT_EQ(speak().status, 200);
    auto log = requestLog(*server)["requests"];
    ASSERT_EQ(log.size(), 2u);
    EXPECT_GE(log[0]["completionMs"].get<double>() - log[0]["arrivalMs"].get<double>(), 150);
    EXPECT_LT(log[1]["completionMs"].get<double>() - log[1]["arrivalMs"].get<double>(), 100);
}

TEST_F(SpeechServerFaults, heldAnswersWaitUntilLetGoAndReleaseLetsThemGoOneByOne)
{
    auto ask = [](const std::string& input) {
        return std::async(std::launch::async, [input] { return postSpeech(*server, speechRequest(input)).status; });
    };
    // The log names the input once the answer is made; the body is there from the arrival.
    auto logged = [](const std::string& input) -> std::optional<nlohmann::json> {
        const auto log = requestLog(*server);
        for (const auto& entry : log["requests"])
            if (nlohmann::json::parse(entry["body"].get<std::string>(), nullptr, false).value("input", "") == input)
                return entry;
        return std::nullopt;
    };
    auto answered = [&](const std::string& input) {
        auto entry = logged(input);
        return entry && !(*entry)["completionMs"].is_null();
    };
    // Polls the log, bounded in real time.
    auto eventually = [](const std::function<bool()>& done) {
        for (int i = 0; i < 2000 && !done(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };

    // Let through the next answer, hold the one after it.
    ASSERT_EQ(control(*server, {{"hold", true}, {"release", 1}}), 200);
    EXPECT_EQ(speak("First.").status, 200);
    auto second = ask("Second.");
    ASSERT_TRUE(eventually([&] { return logged("Second.").has_value(); }));
    EXPECT_FALSE(answered("Second."));

    // Two held: one release lets one of them go, and the hold stays for the other.
    auto third = ask("Third.");
    ASSERT_TRUE(eventually([&] { return logged("Third.").has_value(); }));
    ASSERT_EQ(control(*server, {{"release", 1}}), 200);
    ASSERT_TRUE(eventually([&] { return answered("Second.") || answered("Third."); }));
    EXPECT_FALSE(answered("Second.") && answered("Third.")) << "one release, one answer";
    EXPECT_EQ(requestLog(*server)["inFlight"], 1);

    ASSERT_EQ(control(*server, {{"hold", false}}), 200);
    EXPECT_EQ(second.get(), 200);
    EXPECT_EQ(third.get(), 200);

    // Nothing held, nothing to let go: the control says so and changes nothing.
    EXPECT_EQ(control(*server, {{"release", 1}}), 400);
    EXPECT_EQ(control(*server, {{"hold", true}, {"release", 0}}), 400);
    EXPECT_EQ(control(*server, {{"hold", true}, {"release", "all"}}), 400);
    EXPECT_EQ(speak("Not held.").status, 200);

    ASSERT_EQ(control(*server, {{"hold", true}}), 200);
    auto fourth = ask("Fourth.");
    ASSERT_TRUE(eventually([&] { return logged("Fourth.").has_value(); }));
    server->reset();
    EXPECT_EQ(fourth.get(), 200) << "a reset lets held answers go";
}

TEST_F(SpeechServerFaults, timestampSpellings)
{
    auto first = [](const char* variant) {
        EXPECT_EQ(control(*server, {{"timestampVariant", variant}}), 200);
        return speak().json;
    };
    auto start = first("start")["timestamps"][1];
    EXPECT_FALSE(start.contains("start_time"));
    EXPECT_GT(start["start"].get<double>(), 0);
    EXPECT_GT(start["end"].get<double>(), start["start"].get<double>());

    auto both = first("both")["timestamps"][1];
    EXPECT_GT(both["start_time"].get<double>(), 0);
    EXPECT_EQ(both["start"], -1);

    auto strings = first("string_times")["timestamps"][1];
    EXPECT_TRUE(strings["start_time"].is_string());
    EXPECT_EQ(std::stod(strings["start_time"].get<std::string>()), strings["start"].get<double>());

    auto integers = first("integer")["timestamps"];
    for (const auto& element : integers) {
        EXPECT_TRUE(element["start"].is_number_integer());
        EXPECT_TRUE(element["end"].is_number_integer());
    }
    EXPECT_EQ(integers.back()["end"], 1);

    auto noTimes = first("no_times")["timestamps"][0];
    EXPECT_EQ(noTimes, nlohmann::json({{"word", "Hello"}}));

    auto noWord = first("no_word")["timestamps"][0];
    EXPECT_FALSE(noWord.contains("word"));
    EXPECT_TRUE(noWord.contains("start_time"));

    auto nonObject = first("non_object")["timestamps"];
    EXPECT_EQ(nonObject.size(), 3u);
    EXPECT_TRUE(nonObject[0].is_object());
    EXPECT_TRUE(nonObject.back().is_number());

    EXPECT_TRUE(first("not_array")["timestamps"].is_object());
    EXPECT_FALSE(first("absent").contains("timestamps"));

    // Spellings outlive a counted fault.
    ASSERT_EQ(control(*server, {{"timestampVariant", "start"}, {"fault", "503x1"}}), 200);
    EXPECT_EQ(speak().status, 503);
    EXPECT_TRUE(speak().json["timestamps"][0].contains("start"));
}

TEST_F(SpeechServerFaults, audioAndTextMemberSpellings)
{
    ASSERT_EQ(control(*server, {{"audioMember", "audio_base64"}, {"textMembers", "no_processed"}}), 200);
    auto answer = speak().json;
    EXPECT_FALSE(answer.contains("audio"));
    EXPECT_TRUE(decodeMp3(decodeBase64(answer["audio_base64"]).value_or("")).has_value());
    EXPECT_EQ(answer["processed_text"], "");
    EXPECT_EQ(answer["unprocessed_text"], " More text follows.");

    ASSERT_EQ(control(*server, {{"textMembers", "both_empty"}}), 200);
    answer = speak().json;
    EXPECT_EQ(answer["processed_text"], "");
    EXPECT_EQ(answer["unprocessed_text"], "");

    ASSERT_EQ(control(*server, {{"textMembers", "absent"}}), 200);
    answer = speak().json;
    EXPECT_FALSE(answer.contains("processed_text"));
    EXPECT_FALSE(answer.contains("unprocessed_text"));
}

TEST_F(SpeechServerFaults, answerBytesRepeatsTheAudioToTheAskedSize)
{
    std::string plain = speak().json["audio"];
    ASSERT_EQ(control(*server, {{"answerBytes", 200000}}), 200);
    auto answer = speak().json;
    std::string audio = answer["audio"];
    EXPECT_GE(audio.size(), 200000u);
    EXPECT_LT(audio.size(), 200000u + plain.size() + 4);
    auto mp3 = decodeBase64(audio);
    ASSERT_TRUE(mp3);
    auto one = decodeBase64(plain).value_or("");
    ASSERT_FALSE(one.empty());
    EXPECT_EQ(mp3->size() % one.size(), 0u);
    EXPECT_TRUE(decodeMp3(*mp3).has_value());

    ASSERT_EQ(control(*server, {{"fault", "silentx1"}}), 200);
    EXPECT_EQ(speak().json["audio"], "") << "nothing spoken stays nothing";
    EXPECT_EQ(control(*server, {{"answerBytes", -1}}), 400);
    EXPECT_EQ(control(*server, {{"answerBytes", 1e9}}), 400);
}

TEST_F(SpeechServerFaults, badControlRequestsChangeNothing)
{
    ASSERT_EQ(control(*server, {{"fault", "503"}, {"count", 1}}), 200);
    EXPECT_EQ(control(*server, {{"fault", "explode"}}), 400);
    EXPECT_EQ(control(*server, {{"fault", "302"}}), 400);
    EXPECT_EQ(control(*server, {{"fault", "html"}, {"count", 0}}), 400);
    EXPECT_EQ(control(*server, {{"delayMs", -5}}), 400);
    EXPECT_EQ(control(*server, {{"timestampVariant", "start"}, {"bogus", 1}}), 400);
    EXPECT_EQ(control(*server, nlohmann::json::array()), 400);
    auto raw = client(*server).Post("/control", "{not json", "application/json");
    ASSERT_TRUE(raw);
    EXPECT_EQ(raw->status, 400);

    auto plan = client(*server).Get("/control");
    ASSERT_TRUE(plan);
    auto described = nlohmann::json::parse(plan->body)["plan"];
    EXPECT_EQ(described["fault"], "503");
    EXPECT_EQ(described["count"], 1);
    EXPECT_EQ(described["timestampVariant"], "start_time");
    EXPECT_EQ(speak().status, 503);
    EXPECT_EQ(speak().status, 200);
}

TEST(SpeechServerStartUpFaults, faultsAndControlsFromTheCommandLine)
{
    SpeechServerProcess server({.arguments = {"--fault", "503x1", "--control", R"({"timestampVariant": "start"})"}});
    ASSERT_TRUE(server.isRunning());
    EXPECT_EQ(postSpeech(server, speechRequest("Hi there.")).status, 503);
    auto answer = postSpeech(server, speechRequest("Hi there.")).json;
    EXPECT_TRUE(answer["timestamps"][0].contains("start"));

    EXPECT_EQ(SpeechServerProcess::runToExit({"--canned", "--fault", "explode"}), 2);
    EXPECT_EQ(SpeechServerProcess::runToExit({"--canned", "--control", "{"}), 2);
    EXPECT_EQ(SpeechServerProcess::runToExit({"--port", "http"}), 2);
}

}
