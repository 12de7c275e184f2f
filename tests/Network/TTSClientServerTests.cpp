// The speech client against the stand-in speech server over loopback HTTP, with time moved by
// hand: retry waits pass only when a test advances the manual clock.

#include "LoopbackServer.h"
#include "TTSTestSupport.h"

#include "Network/TTSCancellation.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

namespace lorvantine {
namespace {

using test::ChainRecorder;
using test::RawSocket;
using test::ScopedManualClock;
using test::SpeechServerProcess;
using test::SpeechServerRequest;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr const char* berlin = "Europe/Berlin";
constexpr const char* shanghai = "Asia/Shanghai";

std::string closedURL()
{
    return "http://127.0.0.1:" + std::to_string(RawSocket::closedPort());
}

std::vector<std::string> inputsOf(const std::vector<SpeechServerRequest>& requests)
{
    std::vector<std::string> inputs;
    for (const auto& request : requests)
        inputs.push_back(request.input.value_or("<none>"));
    return inputs;
}

// How long an exchange may take in real time before a test gives up on it: a bound, not a wait.
// Tens of megabytes take seconds under the thread sanitizer or on two loaded cores.
constexpr std::chrono::milliseconds exchangeBound = std::chrono::seconds(60);

class TTSClientServerTest : public ::testing::Test {
protected:
    Log::Capture log;
    ScopedManualClock time;
    SpeechServerProcess server;
    ChainRecorder recorder;

    void SetUp() override { ASSERT_TRUE(server.isRunning()); }

    std::shared_ptr<TTSClient> makeClient(std::string zone, std::string usURL, std::string cnURL = closedURL())
    {
        return TTSClient::make("af_heart", {.timeZoneIdentifier = std::move(zone), .usBaseURL = std::move(usURL), .cnBaseURL = std::move(cnURL)});
    }
    std::shared_ptr<TTSClient> makeClient() { return makeClient(berlin, server.baseURL()); }

    // Lets every exchange finish and moves time over retry waits until the chain has ended,
    // at most `budgetSeconds` of clock time.
    void runToEnd(double budgetSeconds = 30)
    {
        ASSERT_TRUE(Dispatch::waitUntilIdle(exchangeBound));
        for (double moved = 0; !recorder.isDone() && moved < budgetSeconds; moved += 1)
            time.advance(1);
        ASSERT_TRUE(recorder.isDone()) << "the chain did not end within " << budgetSeconds << " s of retries";
    }

    size_t speechRequestCount() { return server.speechRequests().size(); }
};

TEST_F(TTSClientServerTest, RequestCarriesExactlyTheProtocolsBodyAndHeaders)
{
    auto client = makeClient();
    client->requestPart("Hello there.", "am_adam", recorder.completion());
    runToEnd();
    ASSERT_FALSE(recorder.error()) << recorder.error()->description;

    auto requests = server.speechRequests();
    ASSERT_EQ(requests.size(), 1u);
    const SpeechServerRequest& request = requests[0];
    EXPECT_EQ(request.method, "POST");

    nlohmann::ordered_json expected = {
        {"model", "kokoro"},
        {"input", "Hello there."},
        {"voice_code", "am_adam"},
        {"response_format", "mp3"},
        {"return_timestamps", true},
        {"speed", 1.5},
        {"stream", false},
        {"language", "en"},
    };
    auto body = nlohmann::ordered_json::parse(request.body, nullptr, false);
    ASSERT_FALSE(body.is_discarded()) << request.body;
    EXPECT_EQ(body, expected);
    EXPECT_EQ(body.dump(), request.body) << "the body is not written compactly";

    EXPECT_EQ(request.header("Content-Type"), "application/json");
    EXPECT_EQ(request.header("User-Agent"), "LorvantineDesktop/1.0");
    EXPECT_EQ(request.header("Content-Length"), std::to_string(request.body.size()));
    // Nothing beyond what the transport itself must send.
    for (const auto& [name, value] : request.headers) {
        std::string lower = Text::asciiLowercased(name);
        EXPECT_TRUE(lower == "host" || lower == "content-type" || lower == "user-agent" || lower == "content-length" || lower == "accept"
            || lower == "accept-encoding")
            << "unexpected header " << name << ": " << value;
    }
}

TEST_F(TTSClientServerTest, VoiceAndLanguageFollowTheTextAndTheFourVoicePrefixes)
{
    auto client = makeClient();
    client->requestPart("A quiet morning.", "bf_emma", recorder.completion());
    client->requestPart("今天天气很好。", "bf_emma", recorder.completion());
    client->requestPart("今天 is a good day", "am_michael", recorder.completion());
    client->requestPart("Plain words", "", recorder.completion());
    runToEnd();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_EQ(recorder.doneCount(), 4);

    auto voiceSent = [requests = server.speechRequests()](const std::string& input, const std::string& language) {
        for (const auto& request : requests) {
            if (request.input == input && request.language == language)
                return request.voiceCode.value_or("<none>");
        }
        return std::string("<no such request>");
    };
    EXPECT_EQ(voiceSent("A quiet morning.", "en"), "af_heart") << "bf_ is not one of the four prefixes";
    EXPECT_EQ(voiceSent("今天天气很好。", "zh"), "zf_001");
    // Two ideographs against ten ASCII letters: under a quarter, so English.
    EXPECT_EQ(voiceSent("今天 is a good day", "en"), "am_michael");
    EXPECT_EQ(voiceSent("Plain words", "en"), "af_heart");
    ChainRecorder kept;
    client->requestPart("Kept as given.", "zm_009", kept.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(server.speechRequests().back().voiceCode, "zm_009");
}

TEST_F(TTSClientServerTest, GenerateWalksTheRestUntilNothingIsLeftWithOneRequestInFlight)
{
    ASSERT_FALSE(server.control({{"delayMs", 40}}));
    auto client = makeClient();
    std::atomic<int> offQueue = 0;
    client->generate("First sentence here. Second one follows! And a third?", std::string("af_heart"),
        [&, part = recorder.partHandler()](TTSPart value) {
            offQueue += !client->session().delegateQueue().isCurrent();
            part(std::move(value));
        },
        [&, done = recorder.doneHandler()](std::optional<ErrorValue> error) {
            offQueue += !client->session().delegateQueue().isCurrent();
            done(std::move(error));
        });
    runToEnd();

    EXPECT_EQ(recorder.doneCount(), 1);
    EXPECT_FALSE(recorder.error());
    EXPECT_THAT(recorder.processedTexts(), ElementsAre("First sentence here.", "Second one follows!", "And a third?"));
    for (const auto& part : recorder.parts()) {
        EXPECT_FALSE(part.mp3Data.empty());
        EXPECT_FALSE(part.timestamps.empty());
    }
    EXPECT_EQ(offQueue, 0) << "handlers must run on the session's queue";

    auto requests = server.speechRequests();
    EXPECT_THAT(inputsOf(requests),
        ElementsAre("First sentence here. Second one follows! And a third?", "Second one follows! And a third?", "And a third?"));
    for (size_t i = 0; i < requests.size(); ++i) {
        EXPECT_EQ(requests[i].concurrency, 1) << "request " << i;
        if (i > 0) {
            ASSERT_TRUE(requests[i - 1].completionMs);
            EXPECT_GE(requests[i].arrivalMs, *requests[i - 1].completionMs) << "request " << i << " overlapped the one before";
        }
    }
}

TEST_F(TTSClientServerTest, MissingProcessedTextIsRebuiltFromTheInputAndTheRest)
{
    auto client = makeClient();
    ASSERT_FALSE(server.control({{"textMembers", "no_processed"}}));
    client->generate("One small step. Then another.", std::nullopt, recorder.partHandler(), recorder.doneHandler());
    runToEnd();
    EXPECT_THAT(recorder.processedTexts(), ElementsAre("One small step.", "Then another."));

    for (const char* variant : {"both_empty", "absent"}) {
        server.reset();
        ASSERT_FALSE(server.control({{"textMembers", variant}}));
        ChainRecorder single;
        client->generate("One small step. Then another.", std::nullopt, single.partHandler(), single.doneHandler());
        ASSERT_TRUE(Dispatch::waitUntilIdle());
        // Nothing reported as left: the whole input counts as spoken and the loop ends.
        EXPECT_THAT(single.processedTexts(), ElementsAre("One small step. Then another.")) << variant;
        EXPECT_EQ(single.doneCount(), 1) << variant;
        EXPECT_EQ(speechRequestCount(), 1u) << variant;
    }
}

TEST_F(TTSClientServerTest, RetriesWaitTwoThenFourSecondsOfClockTime)
{
    ASSERT_FALSE(server.fault("503"));
    auto client = makeClient();
    client->requestPart("Try again.", "af_heart", recorder.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(speechRequestCount(), 1u);

    time.advance(1.9);
    EXPECT_EQ(speechRequestCount(), 1u);
    time.advance(0.1);
    EXPECT_EQ(speechRequestCount(), 2u);
    time.advance(3.9);
    EXPECT_EQ(speechRequestCount(), 2u);
    EXPECT_FALSE(recorder.isDone());
    time.advance(0.1);
    EXPECT_EQ(speechRequestCount(), 3u);

    ASSERT_EQ(recorder.doneCount(), 1);
    ASSERT_TRUE(recorder.error());
    EXPECT_EQ(*recorder.error(), (ErrorValue{"TTS", 503, "HTTP 503: simulated failure: HTTP 503"}));
    EXPECT_THAT(log.linesContaining("[TTS] attempt"),
        ElementsAre("[TTS] attempt 1 failed (503 TTS)，2s 后重试", "[TTS] attempt 2 failed (503 TTS)，4s 后重试"));
    EXPECT_FALSE(log.contains("切到 US 节点"));

    time.advance(60);
    EXPECT_EQ(speechRequestCount(), 3u);
}

TEST_F(TTSClientServerTest, TransportErrorsPassThroughUnchangedAfterTheRetries)
{
    auto client = makeClient(berlin, closedURL());
    client->requestPart("Anyone there?", "af_heart", recorder.completion());
    runToEnd();
    ASSERT_TRUE(recorder.error());
    EXPECT_EQ(*recorder.error(), (ErrorValue{"NSURLErrorDomain", -1004, "Could not connect to the server."}));
    EXPECT_THAT(log.linesContaining("[TTS] attempt"),
        ElementsAre("[TTS] attempt 1 failed (-1004 NSURLErrorDomain)，2s 后重试", "[TTS] attempt 2 failed (-1004 NSURLErrorDomain)，4s 后重试"));

    RawSocket silent(RawSocket::Mode::listenOnly);
    auto impatient = TTSClient::make("af_heart",
        {.timeZoneIdentifier = berlin, .usBaseURL = silent.url(""), .cnBaseURL = closedURL(), .requestTimeout = std::chrono::milliseconds(150)});
    ChainRecorder timedOut;
    impatient->requestPart("Hello?", "af_heart", timedOut.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    for (int i = 0; i < 10 && !timedOut.isDone(); ++i) {
        time.advance(2);
    }
    ASSERT_TRUE(timedOut.error());
    EXPECT_EQ(timedOut.error()->domain, "NSURLErrorDomain");
    EXPECT_EQ(timedOut.error()->code, -1001);
}

TEST_F(TTSClientServerTest, ACancelledChainSendsNothingMoreAndEndsOnceAtOnce)
{
    const ErrorValue cancelled {"NSURLErrorDomain", -999, "cancelled"};
    auto client = makeClient();

    // While its request is being answered (held by the server): the exchange is given up
    // without waiting for the answer.
    ASSERT_FALSE(server.control({{"hold", true}}));
    auto inFlight = std::make_shared<TTSCancellation>();
    client->generate("First sentence. Second sentence.", std::nullopt, recorder.partHandler(), recorder.doneHandler(), inFlight);
    for (auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
         speechRequestCount() == 0 && std::chrono::steady_clock::now() < until;)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(speechRequestCount(), 1u);
    inFlight->cancel();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(recorder.doneCount(), 1);
    EXPECT_EQ(recorder.error(), cancelled);
    EXPECT_THAT(recorder.parts(), IsEmpty());
    EXPECT_FALSE(server.speechRequests().front().completionMs) << "ended while the server still held the answer";
    ASSERT_FALSE(server.control({{"hold", false}}));

    // While a retry waits: it never sends.
    server.reset();
    ASSERT_FALSE(server.fault("503"));
    ChainRecorder retrying;
    auto waiting = std::make_shared<TTSCancellation>();
    client->generate("Try again.", std::nullopt, retrying.partHandler(), retrying.doneHandler(), waiting);
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_EQ(speechRequestCount(), 1u);
    waiting->cancel();
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(retrying.doneCount(), 1);
    EXPECT_EQ(retrying.error(), cancelled);
    time.advance(30);
    EXPECT_EQ(speechRequestCount(), 1u);
    EXPECT_EQ(retrying.doneCount(), 1);

    // Before it starts: nothing is sent at all.
    ChainRecorder never;
    auto before = std::make_shared<TTSCancellation>();
    before->cancel();
    client->generate("Never.", std::nullopt, never.partHandler(), never.doneHandler(), before);
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_EQ(never.error(), cancelled);
    EXPECT_EQ(speechRequestCount(), 1u);
}

TEST_F(TTSClientServerTest, ACancelMeetingARetryBeingArrangedStillStopsTheChain)
{
    const ErrorValue cancelled {"NSURLErrorDomain", -999, "cancelled"};
    auto client = makeClient();
    ASSERT_FALSE(server.fault("503"));
    // The cancel comes from this thread once the server has answered, while the session's queue
    // may be taking the answer and arranging the retry: whichever is first, no retry goes out.
    // The thread sanitizer sees the two threads meet in every round, whatever the order.
    for (size_t round = 1; round <= 5; ++round) {
        ChainRecorder chain;
        auto cancellation = std::make_shared<TTSCancellation>();
        client->generate("Try again.", std::nullopt, chain.partHandler(), chain.doneHandler(), cancellation);
        ASSERT_TRUE(server.waitForAnsweredSpeechRequests(round));
        cancellation->cancel();
        ASSERT_TRUE(Dispatch::waitUntilIdle(exchangeBound));
        time.advance(30);
        EXPECT_EQ(speechRequestCount(), round) << "round " << round;
        EXPECT_EQ(chain.doneCount(), 1) << "round " << round;
        EXPECT_EQ(chain.error(), cancelled) << "round " << round;
    }
}

TEST_F(TTSClientServerTest, AnAnswerAboveTheSizeLimitIsAnErrorAndNeverKeptWhole)
{
    test::LoopbackServer huge;
    huge.http.Post(SpeechServerProcess::speechPath, [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            if (offset > TTSClient::maxAnswerBytes) {
                sink.done();
                return true;
            }
            const std::string chunk = offset == 0 ? std::string("{\"audio\":\"") : std::string(256 * 1024, 'A');
            return sink.write(chunk.data(), chunk.size());
        });
    });
    huge.start();
    auto client = makeClient(berlin, huge.url(""));
    client->requestPart("Too much.", "af_heart", recorder.completion());
    runToEnd();
    ASSERT_TRUE(recorder.error());
    EXPECT_EQ(recorder.error()->domain, "NSURLErrorDomain");
    EXPECT_EQ(recorder.error()->code, -1103);
}

TEST_F(TTSClientServerTest, LargeAnswersArriveWhole)
{
    auto client = makeClient();
    client->requestPart("Hello there.", "af_heart", recorder.completion());
    runToEnd();
    ASSERT_EQ(recorder.parts().size(), 1u);
    const std::vector<std::uint8_t> once = recorder.parts()[0].mp3Data;
    ASSERT_FALSE(once.empty());

    // Below and above the size up to which the reader keeps its buffers.
    for (int answerBytes : {1 << 20, 5 << 20}) {
        ASSERT_FALSE(server.control({{"answerBytes", answerBytes}}));
        ChainRecorder large;
        client->requestPart("Hello there.", "af_heart", large.completion());
        ASSERT_TRUE(Dispatch::waitUntilIdle(exchangeBound));
        ASSERT_EQ(large.parts().size(), 1u) << answerBytes;
        const TTSPart part = large.parts()[0];
        const std::vector<std::uint8_t>& audio = part.mp3Data;
        ASSERT_GE(audio.size(), static_cast<size_t>(answerBytes) / 4 * 3);
        ASSERT_EQ(audio.size() % once.size(), 0u);
        for (size_t at = 0; at < audio.size(); at += once.size())
            ASSERT_TRUE(std::equal(once.begin(), once.end(), audio.begin() + static_cast<std::ptrdiff_t>(at))) << at;
        EXPECT_EQ(part.processedText, "Hello there.");
    }
}

TEST_F(TTSClientServerTest, ErrorDescriptionsShowTheFirst200CharactersOfTheBody)
{
    std::string longBody;
    for (int i = 0; i < 250; ++i)
        longBody += "字";
    ASSERT_FALSE(server.control({{"fault", "404"}, {"body", longBody}}));
    auto client = makeClient();
    client->requestPart("Where?", "af_heart", recorder.completion());
    runToEnd();
    ASSERT_TRUE(recorder.error());
    EXPECT_EQ(recorder.error()->code, 404);
    EXPECT_EQ(recorder.error()->description, "HTTP 404: " + longBody.substr(0, 200 * std::string("字").size()));

    server.reset();
    ASSERT_FALSE(server.control({{"fault", "410"}, {"bodyBase64", "/+7d"}}));
    ChainRecorder binary;
    client->requestPart("Gone?", "af_heart", binary.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_TRUE(binary.error());
    EXPECT_EQ(*binary.error(), (ErrorValue{"TTS", 410, "HTTP 410: ?"}));
}

TEST_F(TTSClientServerTest, TheTimeZoneChoosesWhichNodeIsTriedFirst)
{
    SpeechServerProcess second;
    ASSERT_TRUE(second.isRunning());
    for (const char* zone : {"Asia/Shanghai", "Asia/Urumqi", "Asia/Chongqing", "Asia/Harbin", "Asia/Kashgar", "PRC"}) {
        auto client = makeClient(zone, server.baseURL(), second.baseURL());
        EXPECT_EQ(client->primaryURL(), second.baseURL());
        EXPECT_EQ(client->fallbackURL(), server.baseURL());
        EXPECT_TRUE(log.contains(std::string("[TTS] endpoint=cn tz=") + zone));
    }
    for (const char* zone : {berlin, "UTC", "Asia/Tokyo", "Asia/Hong_Kong"}) {
        auto client = makeClient(zone, server.baseURL(), second.baseURL());
        EXPECT_EQ(client->primaryURL(), server.baseURL());
        EXPECT_EQ(client->fallbackURL(), std::nullopt);
        EXPECT_TRUE(log.contains(std::string("[TTS] endpoint=us tz=") + zone));
    }

    auto chinaClient = makeClient(shanghai, server.baseURL(), second.baseURL());
    chinaClient->requestPart("Which node?", "af_heart", recorder.completion());
    runToEnd();
    EXPECT_EQ(second.speechRequests().size(), 1u);
    EXPECT_EQ(speechRequestCount(), 0u);
}

class TTSFailoverTest : public TTSClientServerTest {
protected:
    SpeechServerProcess cnServer;
    void SetUp() override
    {
        TTSClientServerTest::SetUp();
        ASSERT_TRUE(cnServer.isRunning());
    }
    std::shared_ptr<TTSClient> chinaClient() { return makeClient(shanghai, server.baseURL(), cnServer.baseURL()); }
};

TEST_F(TTSFailoverTest, ServerErrorsOnTheSecondNodeMoveToTheDefaultNodeOnce)
{
    ASSERT_FALSE(cnServer.fault("503"));
    ASSERT_FALSE(server.fault("503x1"));
    auto client = chinaClient();
    client->requestPart("Across the sea.", "af_heart", recorder.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    time.advance(2);
    time.advance(4);
    // The third failure on the second node moves on at once, without a wait.
    EXPECT_EQ(cnServer.speechRequests().size(), 3u);
    EXPECT_EQ(speechRequestCount(), 1u);
    EXPECT_TRUE(log.contains("[TTS] CN 节点重试用尽 (503 TTS)，切到 US 节点"));
    time.advance(2);
    EXPECT_EQ(speechRequestCount(), 2u);
    ASSERT_TRUE(recorder.isDone());
    EXPECT_FALSE(recorder.error());
    EXPECT_THAT(recorder.processedTexts(), ElementsAre("Across the sea."));
}

TEST_F(TTSFailoverTest, AnUnreachableSecondNodeFailsOverToTheDefaultNode)
{
    auto client = makeClient(shanghai, server.baseURL(), closedURL());
    client->generate("Plan B.", std::nullopt, recorder.partHandler(), recorder.doneHandler());
    runToEnd();
    EXPECT_FALSE(recorder.error());
    EXPECT_EQ(speechRequestCount(), 1u);
    EXPECT_TRUE(log.contains("[TTS] CN 节点重试用尽 (-1004 NSURLErrorDomain)，切到 US 节点"));
}

// Every fault the stand-in server knows ends the chain with a defined result within the retry
// budget: how many attempts the second node sees, whether the default node is asked at all.
struct FaultCase {
    const char* fault;
    std::optional<ErrorValue> error; // none: success
    size_t cnAttempts;
    size_t usAttempts;
};

class TTSFaultModeTest : public TTSFailoverTest, public ::testing::WithParamInterface<FaultCase> { };

TEST_P(TTSFaultModeTest, EndsInADefinedResultWithinTheRetryBudget)
{
    const FaultCase& fault = GetParam();
    ASSERT_FALSE(cnServer.fault(fault.fault));
    ASSERT_FALSE(server.fault(fault.fault));
    auto client = chinaClient();
    client->generate("Faults are expected. Second sentence.", std::nullopt, recorder.partHandler(), recorder.doneHandler());
    runToEnd(20);
    EXPECT_EQ(recorder.doneCount(), 1);
    if (fault.error) {
        ASSERT_TRUE(recorder.error());
        EXPECT_EQ(recorder.error()->domain, fault.error->domain);
        EXPECT_EQ(recorder.error()->code, fault.error->code);
        if (!fault.error->description.empty()) {
            EXPECT_EQ(recorder.error()->description, fault.error->description);
        }
    } else {
        EXPECT_FALSE(recorder.error()) << recorder.error()->description;
    }
    EXPECT_EQ(cnServer.speechRequests().size(), fault.cnAttempts);
    EXPECT_EQ(speechRequestCount(), fault.usAttempts);
    EXPECT_EQ(log.linesContaining("切到 US 节点").size(), fault.usAttempts > 0 ? 1u : 0u);
    time.advance(60);
    EXPECT_EQ(recorder.doneCount(), 1);
}

std::string faultCaseName(const ::testing::TestParamInfo<FaultCase>& param)
{
    std::string name = param.param.fault;
    for (char& c : name) {
        if (!std::isalnum(static_cast<unsigned char>(c)))
            c = '_';
    }
    return "fault_" + name;
}

const ErrorValue parserError {"NSCocoaErrorDomain", 3840, "The data couldn't be read because it isn't in the correct format."};

INSTANTIATE_TEST_SUITE_P(StandInServerFaults, TTSFaultModeTest,
    ::testing::Values(FaultCase {"500", ErrorValue {"TTS", 500, "HTTP 500: simulated failure: HTTP 500"}, 3, 3}, FaultCase {"404", ErrorValue {"TTS", 404, ""}, 1, 0},
        FaultCase {"400", ErrorValue {"TTS", 400, ""}, 1, 0}, FaultCase {"html", parserError, 1, 0},
        FaultCase {"empty", parserError, 1, 0}, FaultCase {"array", ErrorValue {"TTS", -2, "bad json"}, 3, 0},
        FaultCase {"no_audio", ErrorValue {"TTS", -1, "no data"}, 3, 0},
        FaultCase {"bad_base64", ErrorValue {"TTS", -3, "bad audio b64"}, 3, 0},
        FaultCase {"base64_newlines", ErrorValue {"TTS", -3, "bad audio b64"}, 3, 0},
        FaultCase {"no_progress", ErrorValue {"TTS", -4, ""}, 1, 0}, FaultCase {"silent", std::nullopt, 2, 0},
        FaultCase {"hangup", ErrorValue {"NSURLErrorDomain", -1005, ""}, 3, 3},
        FaultCase {"503x1", std::nullopt, 3, 0}),
    faultCaseName);

TEST_F(TTSClientServerTest, AChainKeepsItsClientAliveButAWaitingRetryDoesNot)
{
    auto client = makeClient();
    ASSERT_FALSE(server.fault("503x1"));
    client->generate("Still here.", std::nullopt, recorder.partHandler(), recorder.doneHandler());
    client.reset();
    runToEnd();
    EXPECT_FALSE(recorder.error());
    EXPECT_EQ(recorder.parts().size(), 1u);

    server.reset();
    ASSERT_FALSE(server.fault("503"));
    ChainRecorder orphan;
    auto shortLived = makeClient();
    shortLived->requestPart("Gone soon.", "af_heart", orphan.completion());
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    shortLived.reset();
    time.advance(10);
    EXPECT_EQ(speechRequestCount(), 1u);
    EXPECT_FALSE(orphan.isDone());
}

} // namespace
} // namespace lorvantine
