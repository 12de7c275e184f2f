#pragma once

#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace lorvantine::speechserver::testing {

using test::SpeechServerProcess;

// One server for all tests of a suite, its faults and log cleared before each test.
template<SpeechServerProcess::Speech speech = SpeechServerProcess::Speech::canned>
class SharedServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { server = new SpeechServerProcess({.speech = speech}); }
    static void TearDownTestSuite()
    {
        delete server;
        server = nullptr;
    }
    void SetUp() override
    {
        ASSERT_TRUE(server->isRunning());
        server->reset();
    }

    static inline SpeechServerProcess* server = nullptr;
};

// Raw exchanges with the stand-in server, for checking what it answers.
inline httplib::Client client(const SpeechServerProcess& server)
{
    httplib::Client client("127.0.0.1", server.port());
    client.set_read_timeout(10, 0);
    return client;
}

// One speech request as the speech client sends it.
inline nlohmann::json speechRequest(const std::string& input, const std::string& voice = "af_heart", const std::string& language = "en")
{
    return {
        {"model", "kokoro"}, {"input", input}, {"voice_code", voice}, {"response_format", "mp3"},
        {"return_timestamps", true}, {"speed", 1.5}, {"stream", false}, {"language", language},
    };
}

struct SpeechReply {
    int status = 0;
    std::string contentType;
    std::string body;
    nlohmann::json json; // discarded when the body is not JSON
};

inline SpeechReply postSpeech(const SpeechServerProcess& server, const std::string& rawBody)
{
    SpeechReply reply;
    const httplib::Headers headers {{"User-Agent", "LorvantineDesktop/1.0"}};
    auto result = client(server).Post(SpeechServerProcess::speechPath, headers, rawBody, "application/json");
    if (!result)
        return reply;
    reply.status = result->status;
    reply.contentType = result->get_header_value("Content-Type");
    reply.body = result->body;
    reply.json = nlohmann::json::parse(reply.body, nullptr, false);
    return reply;
}

inline SpeechReply postSpeech(const SpeechServerProcess& server, const nlohmann::json& request)
{
    return postSpeech(server, request.dump());
}

struct Timestamp {
    std::string word;
    double start = 0;
    double end = 0;
};

// The "timestamps" of a normal answer ("word", "start_time", "end_time").
inline std::vector<Timestamp> timestampsOf(const nlohmann::json& answer)
{
    std::vector<Timestamp> list;
    for (const auto& element : answer.value("timestamps", nlohmann::json::array()))
        list.push_back({element.at("word").get<std::string>(), element.at("start_time").get<double>(),
                        element.at("end_time").get<double>()});
    return list;
}

// POST /control; the status of the answer.
inline int control(const SpeechServerProcess& server, const nlohmann::json& settings)
{
    auto result = client(server).Post("/control", settings.dump(), "application/json");
    return result ? result->status : 0;
}

inline nlohmann::json requestLog(const SpeechServerProcess& server)
{
    auto result = client(server).Get("/log");
    return result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
}

} // namespace lorvantine::speechserver::testing
