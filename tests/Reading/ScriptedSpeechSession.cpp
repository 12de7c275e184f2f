#include "Reading/ScriptedSpeechSession.h"

#include <nlohmann/json.hpp>

namespace lorvantine::test {

namespace {

std::string base64Of(const std::vector<std::uint8_t>& bytes)
{
    static constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (size_t i = 0; i < bytes.size(); i += 3) {
        const size_t left = bytes.size() - i;
        std::uint32_t group = std::uint32_t(bytes[i]) << 16;
        if (left > 1)
            group |= std::uint32_t(bytes[i + 1]) << 8;
        if (left > 2)
            group |= bytes[i + 2];
        text += alphabet[(group >> 18) & 63];
        text += alphabet[(group >> 12) & 63];
        text += left > 1 ? alphabet[(group >> 6) & 63] : '=';
        text += left > 2 ? alphabet[group & 63] : '=';
    }
    return text;
}

} // namespace

HttpResult ScriptedSpeechSession::spoken(const std::vector<std::uint8_t>& mp3)
{
    HttpResponse response;
    response.status = 200;
    const std::string body = nlohmann::json { { "audio", base64Of(mp3) }, { "unprocessed_text", "" } }.dump();
    response.body = std::vector<std::uint8_t>(body.begin(), body.end());
    return response;
}

HttpTask ScriptedSpeechSession::dataTask(HttpRequest, Completion completion)
{
    Reply reply = respond(++m_requests);
    // Whichever of the answer and a cancel comes first is the one delivered.
    struct Pending {
        std::mutex mutex;
        Completion completion;
        Completion take()
        {
            std::lock_guard lock(mutex);
            return std::exchange(completion, nullptr);
        }
    };
    auto pending = std::make_shared<Pending>();
    pending->completion = std::move(completion);
    auto deliver = [queue = m_queue, pending](HttpResult result) {
        if (auto taken = pending->take())
            queue->async([taken = std::move(taken), result = std::move(result)]() mutable { taken(std::move(result)); });
    };
    if (reply.after > Duration::zero())
        DispatchQueue::global().asyncAfter(reply.after, [deliver, result = std::move(reply.result)] { deliver(result); });
    else
        deliver(std::move(reply.result));
    return HttpTask([deliver] { deliver(NSURLError::error(NSURLError::cancelled)); });
}

} // namespace lorvantine::test
