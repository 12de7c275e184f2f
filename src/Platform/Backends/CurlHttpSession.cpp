#include "Platform/Backends/CurlHttpSession.h"

#include "Platform/Dispatch/Activity.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Support/Text.h"

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <vector>

namespace lorvantine {

namespace {

// The network lives in real time whatever clock the program runs on, so exchanges time out on
// the steady clock. A running exchange counts as background activity (Dispatch::waitUntilIdle
// waits for it) until its completion is on the queue.
using RealTime = std::chrono::steady_clock;
// The longest look between turns while exchanges run; with none the worker sleeps until a
// submission, cancel or stop wakes it, so that a program at rest is not woken every second.
constexpr long busyWaitMs = 1000;
constexpr long idleWaitMs = 24L * 3600 * 1000;
constexpr size_t readerSlack = 64;
constexpr size_t unlimitedReserve = size_t(64) << 20;

void initialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Transfer {
    uint64_t id = 0;
    HttpRequest request;
    HttpSession::Completion completion;
    CURL* easy = nullptr;
    curl_slist* headerList = nullptr;
    HttpHeaders responseHeaders;
    std::vector<std::uint8_t> responseBody;
    curl_off_t bytesMoved = 0;
    // The body passed the request's limit; the transfer was aborted for it.
    bool bodyTooLarge = false;
    // The request refused an address it was about to be sent to.
    bool addressRefused = false;
    // Set by the first progress call: a transfer still waiting for a free connection to its
    // host is not idle, it has not begun.
    bool begun = false;
    RealTime::time_point begunAt;
    RealTime::time_point lastActivity;

    ~Transfer()
    {
        if (easy)
            curl_easy_cleanup(easy);
        if (headerList)
            curl_slist_free_all(headerList);
    }
};

// The body is kept in one buffer of the announced length, with a little room after it so that
// a reader can pad it in place. What is announced is believed only up to the limit (64 MiB
// without one).
void reserveAnnounced(Transfer& transfer)
{
    curl_off_t announced = -1;
    if (curl_easy_getinfo(transfer.easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) != CURLE_OK || announced <= 0)
        return;
    const size_t limit = transfer.request.maxBodyBytes ? transfer.request.maxBodyBytes : unlimitedReserve;
    transfer.responseBody.reserve(std::min(static_cast<size_t>(announced), limit) + readerSlack);
}

size_t writeBody(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    const size_t length = size * count;
    const size_t limit = transfer->request.maxBodyBytes;
    if (limit && length > limit - std::min(limit, transfer->responseBody.size())) {
        // Anything but `length` makes curl abort the transfer.
        transfer->bodyTooLarge = true;
        return 0;
    }
    if (transfer->responseBody.capacity() == 0)
        reserveAnnounced(*transfer);
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(data);
    transfer->responseBody.insert(transfer->responseBody.end(), bytes, bytes + length);
    transfer->lastActivity = RealTime::now();
    return length;
}

size_t writeHeader(char* data, size_t size, size_t count, void* user)
{
    auto* transfer = static_cast<Transfer*>(user);
    std::string_view line(data, size * count);
    transfer->lastActivity = RealTime::now();
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    // Each response of a redirect chain (and each interim 1xx) starts with its status line;
    // only the last one's headers are kept.
    if (line.starts_with("HTTP/")) {
        transfer->responseHeaders.clear();
        return size * count;
    }
    size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0)
        return size * count;
    std::string_view name = line.substr(0, colon);
    std::string_view value = line.substr(colon + 1);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
        value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t'))
        value.remove_suffix(1);
    transfer->responseHeaders.emplace_back(std::string(name), std::string(value));
    return size * count;
}

int onProgress(void* user, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto* transfer = static_cast<Transfer*>(user);
    curl_off_t moved = downloaded + uploaded;
    if (!transfer->begun) {
        transfer->begun = true;
        transfer->begunAt = transfer->lastActivity = RealTime::now();
    }
    if (moved != transfer->bytesMoved) {
        transfer->bytesMoved = moved;
        transfer->lastActivity = RealTime::now();
    }
    return 0;
}

// Runs once a connection is ready, before each request goes out on it: the first one and each
// one a redirect leads to, when curl has already moved its effective URL there.
int vetAddress(void* user, char*, char*, int, int)
{
    auto* transfer = static_cast<Transfer*>(user);
    char* url = nullptr;
    curl_easy_getinfo(transfer->easy, CURLINFO_EFFECTIVE_URL, &url);
    if (transfer->request.allowsURL(url ? url : ""))
        return CURL_PREREQFUNC_OK;
    transfer->addressRefused = true;
    return CURL_PREREQFUNC_ABORT;
}

bool configure(Transfer& transfer)
{
    CURL* easy = curl_easy_init();
    if (!easy)
        return false;
    transfer.easy = easy;
    const HttpRequest& request = transfer.request;

    curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 16L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
    curl_easy_setopt(easy, CURLOPT_PRIVATE, &transfer);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, writeBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, writeHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, onProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    if (request.allowsURL) {
        curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, vetAddress);
        curl_easy_setopt(easy, CURLOPT_PREREQDATA, &transfer);
    }
    // An announced length above the limit is refused before any of the body is read.
    if (request.maxBodyBytes)
        curl_easy_setopt(easy, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(request.maxBodyBytes));
    Duration timeout = request.timeout > Duration::zero() ? request.timeout : seconds(60);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count()));

    // POST and GET are set by their own options so that a 301/302/303 redirect turns a POST
    // into a GET, as browsers and the platform do; other methods keep their name throughout.
    std::string method = Text::asciiLowercased(request.method);
    const char* bodyData = reinterpret_cast<const char*>(request.body.data());
    auto bodySize = static_cast<curl_off_t>(request.body.size());
    if (method == "post") {
        curl_easy_setopt(easy, CURLOPT_POST, 1L);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize);
        curl_easy_setopt(easy, CURLOPT_POSTFIELDS, request.body.empty() ? "" : bodyData);
    } else if (method == "get" || method.empty()) {
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    } else if (method == "head") {
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    } else {
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, request.method.c_str());
        if (!request.body.empty()) {
            curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE, bodySize);
            curl_easy_setopt(easy, CURLOPT_POSTFIELDS, bodyData);
        }
    }

    bool callerSetExpect = false;
    for (const auto& [name, value] : request.headers) {
        if (name.empty() || name.find_first_of(":\r\n") != std::string::npos || value.find_first_of("\r\n") != std::string::npos)
            continue;
        if (Text::asciiLowercased(name) == "expect")
            callerSetExpect = true;
        // "Name;" is curl's spelling of a header sent with an empty value.
        std::string line = value.empty() ? name + ";" : name + ": " + value;
        transfer.headerList = curl_slist_append(transfer.headerList, line.c_str());
    }
    // Without this curl holds back bodies above 1 KiB for up to a second waiting for a
    // "100 Continue" that many servers never send.
    if (!callerSetExpect)
        transfer.headerList = curl_slist_append(transfer.headerList, "Expect:");
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, transfer.headerList);
    return true;
}

HttpResponse responseOf(Transfer& transfer)
{
    HttpResponse response;
    long status = 0;
    curl_easy_getinfo(transfer.easy, CURLINFO_RESPONSE_CODE, &status);
    response.status = static_cast<int>(status);
    char* effectiveURL = nullptr;
    curl_easy_getinfo(transfer.easy, CURLINFO_EFFECTIVE_URL, &effectiveURL);
    response.url = effectiveURL ? effectiveURL : transfer.request.url;
    response.headers = std::move(transfer.responseHeaders);
    response.body = std::move(transfer.responseBody);
    return response;
}

// The platform's code for a failed transfer.
int nsURLErrorCode(CURLcode code)
{
    switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: return NSURLError::unsupportedURL;
    case CURLE_URL_MALFORMAT: return NSURLError::badURL;
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST: return NSURLError::cannotFindHost;
    case CURLE_COULDNT_CONNECT:
    case CURLE_NO_CONNECTION_AVAILABLE: return NSURLError::cannotConnectToHost;
    case CURLE_WEIRD_SERVER_REPLY: return NSURLError::badServerResponse;
    case CURLE_OPERATION_TIMEDOUT: return NSURLError::timedOut;
    case CURLE_ABORTED_BY_CALLBACK: return NSURLError::cancelled;
    case CURLE_TOO_MANY_REDIRECTS: return NSURLError::httpTooManyRedirects;
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
    case CURLE_PARTIAL_FILE:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR: return NSURLError::networkConnectionLost;
    case CURLE_BAD_CONTENT_ENCODING: return NSURLError::cannotDecodeContentData;
    case CURLE_LOGIN_DENIED: return NSURLError::userAuthenticationRequired;
    case CURLE_PEER_FAILED_VERIFICATION: return NSURLError::serverCertificateUntrusted;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT: return NSURLError::secureConnectionFailed;
    default: return NSURLError::unknown;
    }
}

} // namespace

struct CurlHttpSession::Shared {
    std::shared_ptr<DispatchQueue> queue;
    CURLM* multi = nullptr;

    std::mutex mutex;
    std::vector<std::unique_ptr<Transfer>> submitted;
    std::set<uint64_t> cancelRequests;
    bool stopping = false;
    uint64_t nextId = 1;
    std::condition_variable submittedOrStopping; // only without a multi handle

    // Worker thread only.
    std::map<uint64_t, std::unique_ptr<Transfer>> running;

    ~Shared()
    {
        if (multi)
            curl_multi_cleanup(multi);
    }

    void wake()
    {
        if (multi)
            curl_multi_wakeup(multi);
        else
            submittedOrStopping.notify_all();
    }

    void deliver(std::unique_ptr<Transfer> transfer, HttpResult result)
    {
        auto completion = std::make_shared<Completion>(std::move(transfer->completion));
        auto payload = std::make_shared<HttpResult>(std::move(result));
        queue->async([completion, payload] {
            if (*completion)
                (*completion)(std::move(*payload));
        });
        // The handle is let go while the completion is on its way.
        if (transfer->easy)
            curl_multi_remove_handle(multi, transfer->easy);
        transfer.reset();
        Activity::add(-1);
    }

    // Without a multi handle nothing can be sent: every exchange fails at once, now and later.
    void failEverythingWithoutATransport()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            std::vector<std::unique_ptr<Transfer>> waiting;
            waiting.swap(submitted);
            cancelRequests.clear();
            lock.unlock();
            for (auto& transfer : waiting)
                deliver(std::move(transfer), NSURLError::error(NSURLError::unknown));
            lock.lock();
            if (stopping && submitted.empty())
                return;
            submittedOrStopping.wait(lock, [&] { return stopping || !submitted.empty(); });
        }
    }

    void start(std::unique_ptr<Transfer> transfer)
    {
        transfer->lastActivity = RealTime::now();
        if (!configure(*transfer)) {
            deliver(std::move(transfer), NSURLError::error(NSURLError::unknown));
            return;
        }
        if (curl_multi_add_handle(multi, transfer->easy) != CURLM_OK) {
            deliver(std::move(transfer), NSURLError::error(NSURLError::unknown));
            return;
        }
        uint64_t id = transfer->id;
        running.emplace(id, std::move(transfer));
    }

    void finish(uint64_t id, CURLcode code)
    {
        auto found = running.find(id);
        if (found == running.end())
            return;
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        running.erase(found);
        if (code == CURLE_OK) {
            HttpResponse response = responseOf(*transfer);
            deliver(std::move(transfer), std::move(response));
        } else if (transfer->addressRefused) {
            deliver(std::move(transfer), NSURLError::error(NSURLError::appTransportSecurityRequiresSecureConnection));
        } else if (transfer->bodyTooLarge || code == CURLE_FILESIZE_EXCEEDED) {
            deliver(std::move(transfer), NSURLError::error(NSURLError::dataLengthExceedsMaximum));
        } else {
            deliver(std::move(transfer), NSURLError::error(nsURLErrorCode(code)));
        }
    }

    void fail(uint64_t id, int nsCode)
    {
        auto found = running.find(id);
        if (found == running.end())
            return;
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        running.erase(found);
        deliver(std::move(transfer), NSURLError::error(nsCode));
    }

    void run()
    {
        if (!multi) {
            failEverythingWithoutATransport();
            return;
        }
        for (;;) {
            std::vector<std::unique_ptr<Transfer>> newTransfers;
            std::set<uint64_t> cancels;
            bool stop = false;
            {
                std::lock_guard lock(mutex);
                newTransfers.swap(submitted);
                cancels.swap(cancelRequests);
                stop = stopping;
            }
            for (auto& transfer : newTransfers)
                start(std::move(transfer));
            for (uint64_t id : cancels)
                fail(id, NSURLError::cancelled);
            if (stop) {
                while (!running.empty())
                    fail(running.begin()->first, NSURLError::cancelled);
                return;
            }

            int stillRunning = 0;
            curl_multi_perform(multi, &stillRunning);
            int queued = 0;
            while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
                if (message->msg != CURLMSG_DONE)
                    continue;
                Transfer* transfer = nullptr;
                curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &transfer);
                CURLcode result = message->data.result;
                if (transfer)
                    finish(transfer->id, result);
            }

            RealTime::time_point now = RealTime::now();
            std::vector<uint64_t> expired;
            long waitMs = running.empty() ? idleWaitMs : busyWaitMs;
            for (const auto& [id, transfer] : running) {
                if (!transfer->begun)
                    continue;
                Duration limit = transfer->request.timeout > Duration::zero() ? transfer->request.timeout : seconds(60);
                auto deadline = transfer->lastActivity + limit;
                // A server that sends a byte now and then never lets the idle time run out.
                if (transfer->request.totalTimeout > Duration::zero())
                    deadline = std::min(deadline, transfer->begunAt + std::chrono::duration_cast<RealTime::duration>(transfer->request.totalTimeout));
                if (now >= deadline)
                    expired.push_back(id);
                else
                    waitMs = std::min<long>(waitMs, std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
            }
            for (uint64_t id : expired)
                fail(id, NSURLError::timedOut);

            long curlTimeout = -1;
            curl_multi_timeout(multi, &curlTimeout);
            if (curlTimeout >= 0)
                waitMs = std::min(waitMs, curlTimeout);
            curl_multi_poll(multi, nullptr, 0, static_cast<int>(waitMs), nullptr);
        }
    }
};

CurlHttpSession::CurlHttpSession(std::string queueLabel)
    : m_shared(std::make_shared<Shared>())
{
    initialiseCurlOnce();
    m_shared->queue = DispatchQueue::makeSerial(std::move(queueLabel));
    m_shared->multi = curl_multi_init();
    // As many connections to one host as the platform opens; more at once overflow the accept
    // backlog of small servers and cost seconds of SYN retransmission.
    curl_multi_setopt(m_shared->multi, CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    m_worker = std::thread([shared = m_shared] { shared->run(); });
}

CurlHttpSession::~CurlHttpSession()
{
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->stopping = true;
    }
    m_shared->wake();
    // The last owner can let go inside a completion that the worker itself is releasing; the
    // worker keeps the shared state alive and leaves its loop once it sees `stopping`.
    if (m_worker.get_id() == std::this_thread::get_id())
        m_worker.detach();
    else if (m_worker.joinable())
        m_worker.join();
}

HttpTask CurlHttpSession::dataTask(HttpRequest request, Completion completion)
{
    auto transfer = std::make_unique<Transfer>();
    transfer->request = std::move(request);
    transfer->completion = std::move(completion);
    uint64_t id = 0;
    {
        std::lock_guard lock(m_shared->mutex);
        id = m_shared->nextId++;
        transfer->id = id;
        m_shared->submitted.push_back(std::move(transfer));
        Activity::add(+1);
    }
    m_shared->wake();
    std::weak_ptr<Shared> weakShared = m_shared;
    return HttpTask([weakShared, id] {
        auto shared = weakShared.lock();
        if (!shared)
            return;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->stopping)
                return;
            shared->cancelRequests.insert(id);
        }
        shared->wake();
    });
}

DispatchQueue& CurlHttpSession::delegateQueue()
{
    return *m_shared->queue;
}

std::shared_ptr<HttpSession> HttpSession::makeDefault()
{
    return std::make_shared<CurlHttpSession>();
}

} // namespace lorvantine
