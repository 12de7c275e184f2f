#include "FuzzCheck.h"
#include "Network/TTSClient.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/HttpPort.h"
#include "Support/Log.h"

#include <atomic>
#include <cstdint>
#include <memory>

using namespace lorvantine;

namespace {

// Every request is answered 200 with the fuzz input as its body.
class FixedAnswerSession final : public HttpSession {
public:
    explicit FixedAnswerSession(std::vector<uint8_t> body) : m_body(std::move(body)) {}
    HttpTask dataTask(HttpRequest request, Completion completion) override
    {
        HttpResponse response;
        response.status = 200;
        response.body = m_body;
        response.url = request.url;
        m_queue->async([completion = std::move(completion), response = std::move(response)] { completion(response); });
        return {};
    }
    DispatchQueue& delegateQueue() override { return *m_queue; }

private:
    std::vector<uint8_t> m_body;
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("fuzz.session");
};

} // namespace

// Any answer body ends the request with a part or an error, within the retry budget.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ManualClock& clock = fuzz::manualClock();
    Log::Capture quiet;
    TTSClient::Configuration configuration;
    configuration.timeZoneIdentifier = "Europe/Paris";
    configuration.usBaseURL = "http://127.0.0.1:9";
    configuration.cnBaseURL = "http://127.0.0.1:9";
    configuration.session = std::make_shared<FixedAnswerSession>(std::vector<uint8_t>(data, data + size));
    auto client = TTSClient::make("af_heart", configuration);

    auto done = std::make_shared<std::atomic<int>>(0);
    client->requestPart("Hello there. 你好。", "af_heart", [done](TTSResult) { done->fetch_add(1); });
    for (int step = 0; step < 10 && done->load() == 0; ++step)
        Dispatch::advance(clock, seconds(5));
    if (done->load() != 1)
        __builtin_trap();
    return 0;
}
