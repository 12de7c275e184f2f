#pragma once

#include "Platform/Dispatch/Clock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace lorvantine {

class DispatchQueue;

using HttpHeaders = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
    std::string url;
    std::string method = "GET";
    // Sent in this order, after the transport's own (Host, Content-Length, Accept...).
    HttpHeaders headers;
    std::vector<std::uint8_t> body;
    // The longest the exchange may go without any byte moving. The network runs in real time,
    // so this is real time whatever clock is installed.
    Duration timeout = seconds(60);
    // The longest the whole exchange may take from its start, however steadily bytes move; it
    // fails with NSURLError::timedOut past it. Real time too. Zero: no limit but the idle one.
    Duration totalTimeout = Duration::zero();
    // The most bytes of answer body the transport keeps; a longer answer fails with
    // NSURLError::dataLengthExceedsMaximum as soon as it passes this. Zero: any size.
    size_t maxBodyBytes = 0;
    // Asked about every address the request is about to be sent to, the first and each one a
    // redirect leads to, on the transport's own thread. A refusal ends the exchange with
    // NSURLError::appTransportSecurityRequiresSecureConnection before anything is sent there.
    // None: every address.
    std::function<bool(std::string_view url)> allowsURL;
};

struct HttpResponse {
    int status = 0;
    // Of the final response, in arrival order, names as the server spelled them.
    HttpHeaders headers;
    // Absent when the transport delivered no body at all; an answer with zero bytes has an
    // empty body, which is not the same.
    std::optional<std::vector<std::uint8_t>> body;
    // Where the answer came from after redirects.
    std::string url;

    // The first header of that name, compared without regard to ASCII case.
    std::optional<std::string> header(std::string_view name) const;
};

// A transport failure in the platform's terms: domain "NSURLErrorDomain" and one of the codes
// below.
struct HttpError {
    std::string domain;
    int code = 0;
    std::string message;

    bool operator==(const HttpError&) const = default;
};

namespace NSURLError {
inline constexpr const char* domain = "NSURLErrorDomain";
inline constexpr int unknown = -1;
inline constexpr int cancelled = -999;
inline constexpr int badURL = -1000;
inline constexpr int timedOut = -1001;
inline constexpr int unsupportedURL = -1002;
inline constexpr int cannotFindHost = -1003;
inline constexpr int cannotConnectToHost = -1004;
inline constexpr int networkConnectionLost = -1005;
inline constexpr int httpTooManyRedirects = -1007;
inline constexpr int resourceUnavailable = -1008;
inline constexpr int notConnectedToInternet = -1009;
inline constexpr int badServerResponse = -1011;
inline constexpr int userAuthenticationRequired = -1013;
inline constexpr int cannotDecodeContentData = -1016;
inline constexpr int cannotParseResponse = -1017;
inline constexpr int appTransportSecurityRequiresSecureConnection = -1022;
inline constexpr int dataLengthExceedsMaximum = -1103;
inline constexpr int secureConnectionFailed = -1200;
inline constexpr int serverCertificateUntrusted = -1202;

// The platform's text for `code`.
std::string description(int code);
HttpError error(int code);
} // namespace NSURLError

using HttpResult = std::variant<HttpResponse, HttpError>;

// A started exchange. Cancelling one that has not completed makes it complete with
// NSURLError::cancelled; afterwards it does nothing. Cheap to copy; an empty task does nothing.
class HttpTask {
public:
    HttpTask() = default;
    explicit HttpTask(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    void cancel() const
    {
        if (m_cancel)
            m_cancel();
    }

private:
    std::function<void()> m_cancel;
};

// An HTTP client session. Every completion runs on the session's own serial queue, one at a
// time, exactly once per task. Any thread may start tasks. An exchange counts as background
// work for Dispatch::waitUntilIdle and Dispatch::advance until its completion is queued.
class HttpSession {
public:
    using Completion = std::function<void(HttpResult)>;

    virtual ~HttpSession() = default;

    // Starts the exchange at once.
    virtual HttpTask dataTask(HttpRequest request, Completion completion) = 0;
    virtual DispatchQueue& delegateQueue() = 0;

    // The build's transport (the curl backend on this machine).
    static std::shared_ptr<HttpSession> makeDefault();
};

} // namespace lorvantine
