// Answers the stand-in server cannot give, through a session that replies from a script.

#include "TTSTestSupport.h"

#include "Network/TTSCancellation.h"
#include "Support/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace lorvantine {
namespace {

using test::ChainRecorder;
using test::ScopedManualClock;
using ::testing::DoubleNear;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Pair;

class ScriptedHttpSession final : public HttpSession {
public:
    std::function<HttpResult(const HttpRequest&)> respond;

    HttpTask dataTask(HttpRequest request, Completion completion) override
    {
        {
            std::lock_guard lock(m_mutex);
            m_requests.push_back(request);
        }
        m_queue->async([this, request = std::move(request), completion = std::move(completion)] { completion(respond(request)); });
        return {};
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

    std::vector<HttpRequest> requests() const
    {
        std::lock_guard lock(m_mutex);
        return m_requests;
    }

private:
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("test.scripted-http");
    mutable std::mutex m_mutex;
    std::vector<HttpRequest> m_requests;
};

HttpResponse answer(int status, std::optional<std::string> body)
{
    HttpResponse response;
    response.status = status;
    if (body)
        response.body = std::vector<std::uint8_t>(body->begin(), body->end());
    return response;
}

const ErrorValue parserError {"NSCocoaErrorDomain", 3840, "The data couldn't be read because it isn't in the correct format."};

class TTSAnswerRulesTest : public ::testing::Test {
protected:
    Log::Capture log;
    ScopedManualClock time;
    std::shared_ptr<ScriptedHttpSession> session = std::make_shared<ScriptedHttpSession>();
    std::shared_ptr<TTSClient> client = TTSClient::make("af_heart",
        {.timeZoneIdentifier = "Europe/Berlin", .usBaseURL = "http://speech.test:8880/", .cnBaseURL = "http://speech.test:8443", .session = session});

    // The result of one request answered by `body` with `status`, after any retries.
    TTSResult ask(const std::string& input, int status, std::optional<std::string> body)
    {
        session->respond = [=](const HttpRequest&) -> HttpResult { return answer(status, body); };
        ChainRecorder recorder;
        client->requestPart(input, "af_heart", recorder.completion());
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        for (int i = 0; i < 10 && !recorder.isDone(); ++i)
            time.advance(2);
        EXPECT_EQ(recorder.doneCount(), 1);
        if (auto error = recorder.error())
            return Unexpected(*error);
        return recorder.parts().empty() ? TTSPart {} : recorder.parts()[0];
    }
    TTSResult ask(std::optional<std::string> body) { return ask("Some text.", 200, std::move(body)); }
};

TEST_F(TTSAnswerRulesTest, AnAnswerWithoutABodyIsNoDataAndIsRetried)
{
    TTSResult result = ask(std::nullopt);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (ErrorValue {"TTS", -1, "no data"}));
    ASSERT_EQ(session->requests().size(), 3u);
    // Each to the speech path of the node.
    EXPECT_EQ(session->requests()[0].url, "http://speech.test:8880/api/captioned_speech_partly");
    EXPECT_EQ(session->requests()[0].method, "POST");
    EXPECT_EQ(session->requests()[0].timeout, seconds(60));
}

TEST_F(TTSAnswerRulesTest, AnObjectWithoutAudioIsNoDataButAnEmptyAudioTextIsASilentPart)
{
    TTSResult missing = ask(R"({"processed_text":"Some text.","unprocessed_text":""})");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error(), (ErrorValue {"TTS", -1, "no data"}));

    TTSResult wrongType = ask(R"({"audio":42,"audio_base64":null})");
    ASSERT_FALSE(wrongType);
    EXPECT_EQ(wrongType.error().code, -1);

    TTSResult silent = ask(R"({"audio":"","processed_text":"Some text."})");
    ASSERT_TRUE(silent);
    EXPECT_THAT(silent->mp3Data, IsEmpty());
    EXPECT_EQ(silent->processedText, "Some text.");
}

TEST_F(TTSAnswerRulesTest, AudioIsTheFirstStringMemberDecodedAsStrictBase64)
{
    TTSResult fallback = ask(R"({"audio":7,"audio_base64":"QUJDRA=="})");
    ASSERT_TRUE(fallback);
    EXPECT_EQ(std::string(fallback->mp3Data.begin(), fallback->mp3Data.end()), "ABCD");

    TTSResult first = ask(R"({"audio":"QUI=","audio_base64":"QUJDRA=="})");
    ASSERT_TRUE(first);
    EXPECT_EQ(std::string(first->mp3Data.begin(), first->mp3Data.end()), "AB");

    for (const char* bad : {"QUJDRA", "QUJD\nRA==", "QU=DRA==", "QUJDRA=", "QUJD RA==", "QUJDRA-_", "=QUJ"}) {
        TTSResult result = ask(std::string(R"({"audio":")") + (std::string(bad) == "QUJD\nRA==" ? "QUJD\\nRA==" : bad) + "\"}");
        ASSERT_FALSE(result) << bad;
        EXPECT_EQ(result.error(), (ErrorValue {"TTS", -3, "bad audio b64"})) << bad;
    }
}

TEST_F(TTSAnswerRulesTest, OnlyObjectsAndArraysAreJSONAnswersAndParserErrorsAreFinal)
{
    // The reader also refuses answers nested deeper than an answer is, or holding far more
    // values than its input could have words.
    std::string values;
    for (int i = 0; i < 100000; ++i)
        values += i ? ",0" : "0";
    const std::string deep = R"({"audio":"","x":)" + std::string(40, '[') + std::string(40, ']') + "}";
    const std::string flood = R"({"audio":"","x":[)" + values + "]}";
    for (const std::string& fragment :
         {std::string("42"), std::string("\"text\""), std::string("null"), std::string("true"), std::string("{\"audio\":"),
          std::string("{\"audio\":\"\"} trailing"), std::string("\xff\xfe"), deep, flood}) {
        TTSResult result = ask(fragment);
        ASSERT_FALSE(result) << fragment.substr(0, 40);
        EXPECT_EQ(result.error(), parserError) << fragment.substr(0, 40);
    }
    EXPECT_EQ(session->requests().size(), 9u) << "parser errors are never retried";

    TTSResult array = ask("[]");
    ASSERT_FALSE(array);
    EXPECT_EQ(array.error(), (ErrorValue {"TTS", -2, "bad json"}));
}

TEST_F(TTSAnswerRulesTest, StatusesBelow400AreReadAsAnswers)
{
    TTSResult redirectLike = ask("Some text.", 302, R"({"audio":"QUJD"})");
    ASSERT_TRUE(redirectLike);
    EXPECT_EQ(redirectLike->mp3Data.size(), 3u);

    TTSResult teapot = ask("Some text.", 418, "short and stout");
    ASSERT_FALSE(teapot);
    EXPECT_EQ(teapot.error(), (ErrorValue {"TTS", 418, "HTTP 418: short and stout"}));
    EXPECT_EQ(session->requests().size(), 2u);
}

TEST_F(TTSAnswerRulesTest, ProcessedTextIsRebuiltOnlyWhenTheInputEndsWithTheRest)
{
    TTSResult cut = ask("First part.  Second part.", 200, R"({"audio":"","processed_text":"","unprocessed_text":"  Second part.\n"})");
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->processedText, "First part.");
    EXPECT_EQ(cut->unprocessedText, "  Second part.\n") << "kept exactly as the server sent it";

    TTSResult foreign = ask("First part. Second part.", 200, R"({"audio":"","processed_text":"","unprocessed_text":"Something else."})");
    ASSERT_TRUE(foreign);
    EXPECT_EQ(foreign->processedText, "First part. Second part.");

    // A rest that begins inside a Character (an accent without its letter) is not the input's end.
    TTSResult split = ask("Cafe\u0301 au lait", 200, R"({"audio":"","processed_text":"","unprocessed_text":"\u0301 au lait"})");
    ASSERT_TRUE(split);
    EXPECT_EQ(split->processedText, "Cafe\u0301 au lait");

    TTSResult wrongTypes = ask("Whole.", 200, R"({"audio":"","processed_text":5,"unprocessed_text":["x"]})");
    ASSERT_TRUE(wrongTypes);
    EXPECT_EQ(wrongTypes->processedText, "Whole.");
    EXPECT_EQ(wrongTypes->unprocessedText, "");
}

TEST_F(TTSAnswerRulesTest, TimestampsTakeNumbersOfEitherSpellingAndDropAListWithANonObject)
{
    TTSResult mixed = ask(R"({"audio":"","timestamps":[
        {"start":1,"end":2,"word":"one"},
        {"start_time":2.5,"end_time":3.25,"start":9,"end":9,"word":"two"},
        {"start_time":"4","start":4.5,"end":true,"word":3},
        {}]})");
    ASSERT_TRUE(mixed);
    EXPECT_THAT(mixed->timestamps,
        ElementsAre(TTSTimestamp {1, 2, "one"}, TTSTimestamp {2.5, 3.25, "two"}, TTSTimestamp {4.5, 0, ""}, TTSTimestamp {0, 0, ""}));

    // One word per Character of the input at most, and 64 more.
    std::string many = R"({"audio":"","timestamps":[)";
    for (int i = 0; i < 200; ++i)
        many += std::string(i ? "," : "") + R"({"start":0,"end":1,"word":"w"})";
    TTSResult flooded = ask("Some text.", 200, many + "]}");
    ASSERT_TRUE(flooded);
    EXPECT_EQ(flooded->timestamps.size(), 10u + 64u);

    for (const char* spoiled : {R"({"audio":"","timestamps":[{"start":1,"end":2,"word":"one"},null]})",
                                R"({"audio":"","timestamps":{"start":1}})", R"({"audio":""})"}) {
        TTSResult result = ask(spoiled);
        ASSERT_TRUE(result) << spoiled;
        EXPECT_THAT(result->timestamps, IsEmpty()) << spoiled;
    }
}

TEST_F(TTSAnswerRulesTest, AChainEndsWithAnErrorWhenWhatIsLeftDoesNotGetShorter)
{
    struct Case {
        const char* server;
        std::string text;
        std::function<std::string(const std::string& input)> rest;
        size_t requests;
    };
    const std::string first = "One two three.";
    const std::vector<Case> cases {
        {"hands the text back", first, [](const std::string& input) { return "  " + input + "\n"; }, 1},
        {"lets the rest grow", first, [](const std::string& input) { return input + " And more."; }, 1},
        {"alternates two rests", first, [&](const std::string& input) { return input == first ? "Two three." : first; }, 2},
        // The same Characters in fewer bytes: composed where the text had a letter and an accent.
        {"recomposes the text", "Cafe\u0301 noir.", [](const std::string&) { return std::string("Caf\u00e9 noir."); }, 1},
    };
    for (const Case& c : cases) {
        size_t before = session->requests().size();
        session->respond = [&](const HttpRequest& request) -> HttpResult {
            auto body = nlohmann::json::parse(request.body.begin(), request.body.end(), nullptr, false);
            // A bound for the test's sake, should the chain not end by itself.
            bool enough = session->requests().size() - before >= 20;
            nlohmann::json reply = {{"audio", ""}, {"processed_text", "x"},
                {"unprocessed_text", enough ? std::string() : c.rest(body.value("input", std::string()))}};
            return answer(200, reply.dump());
        };
        ChainRecorder recorder;
        client->generate(c.text, std::nullopt, recorder.partHandler(), recorder.doneHandler());
        ASSERT_TRUE(Dispatch::waitUntilIdle());
        EXPECT_EQ(session->requests().size() - before, c.requests) << c.server;
        EXPECT_EQ(recorder.parts().size(), c.requests) << c.server << ": every answer is still handed on";
        ASSERT_EQ(recorder.doneCount(), 1) << c.server;
        ASSERT_TRUE(recorder.error()) << c.server;
        EXPECT_EQ(recorder.error()->domain, "TTS") << c.server;
        EXPECT_EQ(recorder.error()->code, -4) << c.server;
    }
}

TEST_F(TTSAnswerRulesTest, TextThatIsNotUTF8GoesOutWithoutABody)
{
    ask("caf\xe9 au lait", 200, R"({"audio":""})");
    ASSERT_EQ(session->requests().size(), 1u);
    EXPECT_THAT(session->requests()[0].body, IsEmpty());

    // The loop's own text has been through normalisation, which repairs it.
    session->respond = [](const HttpRequest&) -> HttpResult { return answer(200, R"({"audio":""})"); };
    ChainRecorder recorder;
    client->generate("caf\xe9 au lait", std::nullopt, recorder.partHandler(), recorder.doneHandler());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_EQ(session->requests().size(), 2u);
    std::vector<std::uint8_t> body = session->requests()[1].body;
    EXPECT_NE(std::string(body.begin(), body.end()).find("caf\xef\xbf\xbd au lait"), std::string::npos);
}

TEST_F(TTSAnswerRulesTest, OnlyRunsOfWhiteSpaceHoldingALineFeedBecomeAFullStop)
{
    session->respond = [](const HttpRequest&) -> HttpResult { return answer(200, R"({"audio":""})"); };
    auto sentInput = [&](const std::string& text) {
        size_t before = session->requests().size();
        ChainRecorder recorder;
        client->generate(text, std::nullopt, recorder.partHandler(), recorder.doneHandler());
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        EXPECT_EQ(session->requests().size(), before + 1) << text;
        const auto body = session->requests().back().body;
        auto json = nlohmann::json::parse(body.begin(), body.end(), nullptr, false);
        return json.is_object() ? json.value("input", std::string("<none>")) : std::string("<bad body>");
    };
    EXPECT_EQ(sentInput("a \t b"), "a \t b");
    EXPECT_EQ(sentInput("a\rb"), "a\rb");
    EXPECT_EQ(sentInput("第一行\r\n。第二行"), "第一行。第二行");
    EXPECT_EQ(sentInput("a \u3000\n\u00a0 b"), "a。b");
    EXPECT_EQ(sentInput("\n\nHeading\n\n"), "。Heading。");
    EXPECT_EQ(sentInput("一。\n。。二"), "一。二");
    EXPECT_EQ(sentInput("。\n"), "。");

    // A blank text is done at once, on this thread, without an error and without a request.
    ChainRecorder blank;
    client->generate(" \n\t \r\n  ", std::string("af_heart"), blank.partHandler(), blank.doneHandler());
    EXPECT_EQ(blank.doneCount(), 1);
    EXPECT_FALSE(blank.error());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_THAT(blank.parts(), IsEmpty());
    EXPECT_EQ(session->requests().size(), 7u);
}

// What an exchange may cost: each has an overall deadline besides the idle one, and an answer
// too long to keep is never asked for again, while other transport failures are.
TEST_F(TTSAnswerRulesTest, ExchangesHaveAnOverallDeadlineAndAnAnswerTooLongIsNotRetried)
{
    ask(R"({"audio":""})");
    ASSERT_EQ(session->requests().size(), 1u);
    EXPECT_EQ(session->requests()[0].timeout, seconds(60));
    EXPECT_EQ(session->requests()[0].totalTimeout, seconds(120));

    struct Case {
        int code;
        size_t attempts;
    };
    for (const Case& c : {Case {NSURLError::dataLengthExceedsMaximum, 1}, Case {NSURLError::timedOut, 3},
                          Case {NSURLError::networkConnectionLost, 3}}) {
        session->respond = [&](const HttpRequest&) -> HttpResult { return NSURLError::error(c.code); };
        const size_t before = session->requests().size();
        ChainRecorder recorder;
        client->requestPart("Some text.", "af_heart", recorder.completion());
        for (int i = 0; i < 10 && !recorder.isDone(); ++i)
            time.advance(2);
        ASSERT_EQ(recorder.doneCount(), 1) << c.code;
        EXPECT_EQ(recorder.error()->code, c.code);
        EXPECT_EQ(session->requests().size() - before, c.attempts) << c.code;
    }
}

TEST_F(TTSAnswerRulesTest, EveryFailedAttemptIsReportedWithTheMomentItWasSent)
{
    int answered = 0;
    session->respond = [&](const HttpRequest&) -> HttpResult {
        return ++answered < 3 ? HttpResult(NSURLError::error(NSURLError::timedOut)) : HttpResult(answer(200, R"({"audio":""})"));
    };
    const TimePoint start = time.clock().now();
    std::mutex mutex;
    std::vector<std::pair<int, double>> failures;
    ChainRecorder recorder;
    client->generate("Some text.", std::nullopt, recorder.partHandler(), recorder.doneHandler(), nullptr,
        [&](const ErrorValue& error, TimePoint sentAt) {
            std::lock_guard lock(mutex);
            failures.emplace_back(error.code, toSeconds(sentAt - start));
        });
    for (int i = 0; i < 10 && !recorder.isDone(); ++i)
        time.advance(1);
    ASSERT_EQ(recorder.doneCount(), 1);
    EXPECT_FALSE(recorder.error());
    EXPECT_THAT(failures, ElementsAre(Pair(NSURLError::timedOut, DoubleNear(0, 1e-6)), Pair(NSURLError::timedOut, DoubleNear(2, 1e-6))))
        << "the third attempt, sent at 6 s, succeeded";

    // An attempt of a cancelled chain is not a failure of the server.
    failures.clear();
    auto cancellation = std::make_shared<TTSCancellation>();
    session->respond = [&](const HttpRequest&) -> HttpResult {
        cancellation->cancel();
        return NSURLError::error(NSURLError::cancelled);
    };
    ChainRecorder cancelled;
    client->generate("Some text.", std::nullopt, cancelled.partHandler(), cancelled.doneHandler(), cancellation,
        [&](const ErrorValue& error, TimePoint sentAt) {
            std::lock_guard lock(mutex);
            failures.emplace_back(error.code, toSeconds(sentAt - start));
        });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(cancelled.doneCount(), 1);
    EXPECT_THAT(failures, IsEmpty());
}

TEST_F(TTSAnswerRulesTest, AChainCancelledWhileItsAnswerWaitsOnTheQueueDeliversNothingAndEndsOnce)
{
    session->respond = [](const HttpRequest&) -> HttpResult {
        return answer(200, R"({"audio":"QUJD","processed_text":"One.","unprocessed_text":" Two."})");
    };
    // The session's queue is held, so the answer is queued behind this when the chain is cancelled.
    auto gate = std::make_shared<Semaphore>(0);
    session->delegateQueue().async([gate] { gate->wait(); });
    auto cancellation = std::make_shared<TTSCancellation>();
    ChainRecorder recorder;
    client->generate("One. Two.", std::nullopt, recorder.partHandler(), recorder.doneHandler(), cancellation);
    ASSERT_EQ(session->requests().size(), 1u);
    cancellation->cancel();
    gate->signal();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    time.advance(30);

    EXPECT_THAT(recorder.parts(), IsEmpty());
    EXPECT_EQ(recorder.doneCount(), 1);
    EXPECT_EQ(recorder.error(), (ErrorValue {"NSURLErrorDomain", -999, "cancelled"}));
    EXPECT_EQ(session->requests().size(), 1u) << "the rest is never asked for";
}

} // namespace
} // namespace lorvantine
