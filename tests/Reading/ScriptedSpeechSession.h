#pragma once

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/HttpPort.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace lorvantine::test {

// A speech server in the test's hands, behind the speech client's transport: each request gets
// the reply the script gives for its number (from 1), after that much time on the installed
// clock. Cancelling an exchange answers it with NSURLError::cancelled at once.
class ScriptedSpeechSession final : public HttpSession {
public:
    struct Reply {
        HttpResult result;
        Duration after = Duration::zero();
    };
    std::function<Reply(int number)> respond;

    // A spoken answer: `mp3` as its audio, the whole input spoken.
    static HttpResult spoken(const std::vector<std::uint8_t>& mp3);

    HttpTask dataTask(HttpRequest request, Completion completion) override;
    DispatchQueue& delegateQueue() override { return *m_queue; }
    int requestCount() const { return m_requests; }

private:
    std::shared_ptr<DispatchQueue> m_queue = DispatchQueue::makeSerial("test.scripted-speech");
    std::atomic<int> m_requests { 0 };
};

} // namespace lorvantine::test
