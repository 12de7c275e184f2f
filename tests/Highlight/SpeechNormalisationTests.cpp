#include "Core/SubHighlightMapper.h"
#include "Network/TTSClient.h"
#include "Platform/Dispatch.h"
#include "Platform/HttpPort.h"
#include "Support/Log.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <mutex>

namespace lorvantine {
namespace {

// Answers every request with 404 (final, no retry) and keeps the texts that were sent.
class RecordingHttpSession final : public HttpSession {
public:
    HttpTask dataTask(HttpRequest request, Completion completion) override
    {
        {
            std::lock_guard lock(m_mutex);
            auto body = nlohmann::json::parse(request.body.begin(), request.body.end(), nullptr, false);
            m_inputs.push_back(body.is_object() && body["input"].is_string() ? body["input"].get<std::string>() : "?");
        }
        m_queue->async([completion = std::move(completion)] {
            HttpResponse response;
            response.status = 404;
            response.body = std::vector<std::uint8_t> {};
            completion(response);
        });
        return {};
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

    std::vector<std::string> inputs() const
    {
        std::lock_guard lock(m_mutex);
        return m_inputs;
    }

private:
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("test.recording-http");
    mutable std::mutex m_mutex;
    std::vector<std::string> m_inputs;
};

// The units are located in the text the speech client really sent, so the two normalisations
// must agree character for character.
TEST(SpeechNormalisationTest, AgreesWithWhatTheSpeechClientSends)
{
    Log::Capture log;
    auto session = std::make_shared<RecordingHttpSession>();
    auto client = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin", .usBaseURL = "http://speech.test",
                                                .cnBaseURL = "http://speech.test:8443", .session = session });
    const std::vector<std::string> texts {
        "Line one\nLine two",
        "Spaces \t and\ttabs stay  as they are",
        "Windows\r\nline\r\n\r\nends",
        "多行\n\n\n文本。\n。结束",
        "🍞\n 面包\u3000\n\u3000全角",
        "Ends with a break\n",
        "\nStarts with one",
        "Separators\u2028and\u2029others\u0085too",
        "Cafe\u0301\n\ncafe\u0301",
        "Already。。。folded",
    };
    for (const std::string& text : texts)
        client->generate(text, "af_heart", [](TTSPart) {}, [](std::optional<ErrorValue>) {});
    ASSERT_TRUE(Dispatch::waitUntilIdle());

    const std::vector<std::string> sent = session->inputs();
    ASSERT_EQ(sent.size(), texts.size());
    for (size_t i = 0; i < texts.size(); ++i)
        EXPECT_EQ(SubHighlightMapper::normalizeLikeTTS(texts[i]).text, sent[i]) << "text " << i;
}

} // namespace
} // namespace lorvantine
