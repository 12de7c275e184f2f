// The request log as tests of the speech client read it, and how the server ends.

#include "SpeechServerClient.h"

#include <gtest/gtest.h>

#include <csignal>
#include <chrono>
#include <future>
#include <set>

using namespace lorvantine::speechserver::testing;

namespace {

TEST(SpeechServerLog, recordsEachRequestExactlyAsItArrived)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    const std::string body = speechRequest("你好。世界", "zf_001", "zh").dump();
    ASSERT_EQ(postSpeech(server, body).status, 200);
    ASSERT_EQ(postSpeech(server, std::string("{oops")).status, 400);

    auto log = requestLog(server);
    ASSERT_EQ(log["requests"].size(), 2u);
    auto entry = log["requests"][0];
    EXPECT_EQ(entry["order"], 1);
    EXPECT_EQ(entry["method"], "POST");
    EXPECT_EQ(entry["path"], "/api/captioned_speech_partly");
    EXPECT_EQ(entry["body"], body);
    EXPECT_EQ(entry["headers"]["Content-Type"], "application/json");
    EXPECT_EQ(entry["headers"]["User-Agent"], "LorvantineDesktop/1.0");
    EXPECT_FALSE(entry["headers"].contains("REMOTE_ADDR"));
    EXPECT_EQ(entry["voice_code"], "zf_001");
    EXPECT_EQ(entry["language"], "zh");
    EXPECT_EQ(entry["input"], "你好。世界");
    EXPECT_EQ(entry["processed_text"], "你好。");
    EXPECT_EQ(entry["status"], 200);
    EXPECT_EQ(entry["concurrency"], 1);
    EXPECT_LE(entry["arrivalMs"].get<double>(), entry["completionMs"].get<double>());

    auto malformed = log["requests"][1];
    EXPECT_EQ(malformed["order"], 2);
    EXPECT_EQ(malformed["body"], "{oops");
    EXPECT_EQ(malformed["status"], 400);
    EXPECT_TRUE(malformed["input"].is_null());

    server.reset();
    ASSERT_EQ(postSpeech(server, body).status, 200);
    log = requestLog(server);
    ASSERT_EQ(log["requests"].size(), 1u);
    EXPECT_EQ(log["requests"][0]["order"], 1);
}

TEST(SpeechServerLog, countsRequestsInFlightAtArrival)
{
    std::vector<std::future<int>> replies;  // outlives the server, whose end releases them
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    // Held until the server stops, so all three are certainly in flight together.
    ASSERT_EQ(control(server, {{"delayMs", 60000}}), 200);
    for (int i = 0; i < 3; ++i) {
        replies.push_back(std::async(std::launch::async, [&server, i] {
            return postSpeech(server, speechRequest("Request " + std::to_string(i) + ".")).status;
        }));
    }
    auto log = nlohmann::json::object();
    for (int i = 0; i < 400 && log.value("inFlight", 0) < 3; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        log = requestLog(server);
    }
    std::multiset<int> concurrency;
    for (const auto& entry : log["requests"]) {
        concurrency.insert(entry["concurrency"].get<int>());
        EXPECT_TRUE(entry["completionMs"].is_null());
    }
    EXPECT_EQ(concurrency, (std::multiset<int>{1, 2, 3}));

    EXPECT_EQ(server.stop(SIGTERM), 0);
    for (auto& reply : replies)
        EXPECT_NE(reply.get(), 200);
}

TEST(SpeechServerLifetime, endsCleanlyOnSigtermAndSigint)
{
    SpeechServerProcess interrupted;
    ASSERT_TRUE(interrupted.isRunning());
    EXPECT_EQ(interrupted.stop(SIGINT), 0);

    // A delayed answer does not hold the shutdown back.
    std::future<int> pending;
    SpeechServerProcess busy;
    ASSERT_TRUE(busy.isRunning());
    ASSERT_EQ(control(busy, {{"delayMs", 60000}}), 200);
    pending = std::async(std::launch::async, [&busy] { return postSpeech(busy, speechRequest("Wait.")).status; });
    for (int i = 0; i < 200 && requestLog(busy)["inFlight"] != 1; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(busy.stop(SIGTERM), 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    EXPECT_NE(pending.get(), 200);
}

TEST(SpeechServerLifetime, listensOnTheGivenPort)
{
    int port = 0;
    {
        SpeechServerProcess probe;
        port = probe.port();
    }
    ASSERT_GT(port, 0);
    SpeechServerProcess fixed({.arguments = {"--port", std::to_string(port)}});
    EXPECT_EQ(fixed.port(), port);
    EXPECT_EQ(postSpeech(fixed, speechRequest("Hi.")).status, 200);
}

}
