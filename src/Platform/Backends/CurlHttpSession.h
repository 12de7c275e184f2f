#pragma once

#include "Platform/HttpPort.h"

#include <memory>
#include <string>
#include <thread>

namespace lorvantine {

// HTTP over libcurl: one worker thread drives a multi handle with every running exchange.
// Only http and https are spoken, redirects are followed (at most 16), bodies in a content
// encoding curl knows are decoded. A request times out when no byte has moved for its
// `timeout`, or when it has run for its `totalTimeout` (real time, from the moment it leaves
// the queue of exchanges waiting for a connection). No cookies, no .netrc, no credentials.
// Destroying the session cancels what still runs (those completions report
// NSURLError::cancelled) and waits for the worker to end.
class CurlHttpSession final : public HttpSession {
public:
    explicit CurlHttpSession(std::string queueLabel = "lorvantine.http");
    ~CurlHttpSession() override;
    CurlHttpSession(const CurlHttpSession&) = delete;
    CurlHttpSession& operator=(const CurlHttpSession&) = delete;

    HttpTask dataTask(HttpRequest request, Completion completion) override;
    DispatchQueue& delegateQueue() override;

private:
    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_worker;
};

} // namespace lorvantine
