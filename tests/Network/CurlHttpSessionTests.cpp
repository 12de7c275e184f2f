#include "LoopbackServer.h"

#include "Platform/Backends/CurlHttpSession.h"
#include "Platform/Dispatch/Dispatch.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using test::Inbox;
using test::LoopbackServer;
using test::RawSocket;

std::vector<std::uint8_t> bytes(std::string_view text) { return {text.begin(), text.end()}; }
std::string textOf(const std::vector<std::uint8_t>& data) { return {data.begin(), data.end()}; }

struct Seen {
    std::string method;
    std::string path;
    std::string body;
    httplib::Headers headers;
};

class CurlHttpSessionTest : public ::testing::Test {
protected:
    LoopbackServer server;
    std::mutex seenMutex;
    std::vector<Seen> seen;
    CurlHttpSession session;
    Inbox<HttpResult> results;

    void record(const httplib::Request& request)
    {
        std::lock_guard lock(seenMutex);
        seen.push_back({request.method, request.path, request.body, request.headers});
    }

    HttpResult fetch(HttpRequest request)
    {
        size_t before = results.size();
        session.dataTask(std::move(request), [this](HttpResult result) { results.put(std::move(result)); });
        EXPECT_TRUE(results.waitFor(before + 1)) << "no completion";
        return results.values().back();
    }

    static int errorCode(const HttpResult& result)
    {
        const HttpError* error = std::get_if<HttpError>(&result);
        EXPECT_NE(error, nullptr) << "expected a transport error";
        if (!error)
            return 0;
        EXPECT_EQ(error->domain, NSURLError::domain);
        return error->code;
    }
};

TEST_F(CurlHttpSessionTest, PostCarriesExactlyTheGivenBodyAndHeadersAndAnswersOnTheSessionQueue)
{
    server.http.Post("/echo", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.status = 201;
        response.set_header("X-Answer", "forty-two");
        response.set_content("{\"ok\":true}", "application/json");
    });
    server.start();

    HttpRequest request;
    request.url = server.url("/echo");
    request.method = "POST";
    request.headers = {{"Content-Type", "application/json"}, {"User-Agent", "LorvantineDesktop/1.0"}};
    std::string largeBody = "{\"input\":\"" + std::string(5000, 'x') + "\"}";
    request.body = bytes(largeBody);

    Inbox<bool> onQueue;
    session.dataTask(request, [&](HttpResult result) {
        onQueue.put(session.delegateQueue().isCurrent());
        results.put(std::move(result));
    });
    ASSERT_TRUE(results.waitFor(1));
    ASSERT_TRUE(onQueue.waitFor(1));
    EXPECT_TRUE(onQueue.values()[0]);

    auto values = results.values();
    const auto* response = std::get_if<HttpResponse>(&values[0]);
    ASSERT_NE(response, nullptr);
    EXPECT_EQ(response->status, 201);
    EXPECT_EQ(response->header("x-answer"), "forty-two");
    ASSERT_TRUE(response->body.has_value());
    EXPECT_EQ(textOf(*response->body), "{\"ok\":true}");
    EXPECT_EQ(response->url, server.url("/echo"));

    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].method, "POST");
    EXPECT_EQ(seen[0].body, largeBody);
    auto header = [&](const char* name) {
        auto found = seen[0].headers.find(name);
        return found == seen[0].headers.end() ? std::string("<absent>") : found->second;
    };
    EXPECT_EQ(header("Content-Type"), "application/json");
    EXPECT_EQ(header("User-Agent"), "LorvantineDesktop/1.0");
    EXPECT_EQ(header("Content-Length"), std::to_string(largeBody.size()));
    // A body above 1 KiB must not wait for "100 Continue", and nothing identifies the user.
    EXPECT_EQ(header("Expect"), "<absent>");
    EXPECT_EQ(header("Authorization"), "<absent>");
    EXPECT_EQ(header("Cookie"), "<absent>");
}

TEST_F(CurlHttpSessionTest, EmptyAnswerHasAnEmptyBodyNotAMissingOneAndErrorStatusesAreAnswers)
{
    server.http.Get("/empty", [](const httplib::Request&, httplib::Response& response) { response.status = 200; });
    server.http.Get("/missing", [](const httplib::Request&, httplib::Response& response) {
        response.status = 503;
        response.set_content("busy", "text/plain");
    });
    server.start();

    HttpResult empty = fetch({.url = server.url("/empty")});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(empty));
    EXPECT_EQ(std::get<HttpResponse>(empty).status, 200);
    ASSERT_TRUE(std::get<HttpResponse>(empty).body.has_value());
    EXPECT_TRUE(std::get<HttpResponse>(empty).body->empty());

    HttpResult busy = fetch({.url = server.url("/missing")});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(busy));
    EXPECT_EQ(std::get<HttpResponse>(busy).status, 503);
    EXPECT_EQ(textOf(*std::get<HttpResponse>(busy).body), "busy");
}

TEST_F(CurlHttpSessionTest, RedirectsAreFollowedWithThePlatformsMethodRules)
{
    server.http.Post("/moved", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/landing", 302); });
    server.http.Post("/kept", [](const httplib::Request&, httplib::Response& response) { response.set_redirect("/landing", 307); });
    server.http.Get("/landing", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_header("X-Final", "get");
        response.set_content("arrived by GET", "text/plain");
    });
    server.http.Post("/landing", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_content("arrived by POST", "text/plain");
    });
    server.start();

    HttpResult moved = fetch({.url = server.url("/moved"), .method = "POST", .body = bytes("payload")});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(moved));
    const auto& movedResponse = std::get<HttpResponse>(moved);
    EXPECT_EQ(movedResponse.status, 200);
    EXPECT_EQ(textOf(*movedResponse.body), "arrived by GET");
    EXPECT_EQ(movedResponse.url, server.url("/landing"));
    // Only the final response's headers are kept, not the redirect's Location.
    EXPECT_EQ(movedResponse.header("X-Final"), "get");
    EXPECT_EQ(movedResponse.header("Location"), std::nullopt);

    HttpResult kept = fetch({.url = server.url("/kept"), .method = "POST", .body = bytes("payload")});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(kept));
    EXPECT_EQ(textOf(*std::get<HttpResponse>(kept).body), "arrived by POST");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].body, "payload");
}

TEST_F(CurlHttpSessionTest, AnAddressTheRequestRefusesIsNeverSentTo)
{
    server.http.Get("/moved", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_redirect("/private", 302);
    });
    server.http.Get("/private", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_content("private", "text/plain");
    });
    server.http.Get("/public", [this](const httplib::Request& request, httplib::Response& response) {
        record(request);
        response.set_content("public", "text/plain");
    });
    server.start();
    std::vector<std::string> asked;
    auto request = [&](const std::string& path) {
        return HttpRequest {.url = server.url(path), .allowsURL = [&asked](std::string_view url) {
            asked.emplace_back(url);
            return !url.ends_with("/private");
        }};
    };

    HttpResult redirected = fetch(request("/moved"));
    EXPECT_EQ(errorCode(redirected), NSURLError::appTransportSecurityRequiresSecureConnection);
    EXPECT_THAT(asked, ::testing::ElementsAre(server.url("/moved"), server.url("/private")));
    EXPECT_EQ(errorCode(fetch(request("/private"))), NSURLError::appTransportSecurityRequiresSecureConnection);
    HttpResult allowed = fetch(request("/public"));
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(allowed));
    EXPECT_EQ(textOf(*std::get<HttpResponse>(allowed).body), "public");

    std::lock_guard lock(seenMutex);
    ASSERT_EQ(seen.size(), 2u) << "nothing was sent to the refused address";
    EXPECT_EQ(seen[0].path, "/moved");
    EXPECT_EQ(seen[1].path, "/public");
}

TEST_F(CurlHttpSessionTest, TransportFailuresArriveAsThePlatformsURLErrors)
{
    EXPECT_EQ(errorCode(fetch({.url = "http://127.0.0.1:" + std::to_string(RawSocket::closedPort()) + "/x"})),
        NSURLError::cannotConnectToHost);
    EXPECT_EQ(errorCode(fetch({.url = "http://[::1/"})), NSURLError::badURL);
    EXPECT_EQ(errorCode(fetch({.url = ""})), NSURLError::badURL);
    // Only http and https: a settings value naming a file must not read that file.
    EXPECT_EQ(errorCode(fetch({.url = "file:///etc/hostname"})), NSURLError::unsupportedURL);
    EXPECT_EQ(errorCode(fetch({.url = "gopher://127.0.0.1/"})), NSURLError::unsupportedURL);

    RawSocket hangsUp(RawSocket::Mode::closeAfterRequest);
    EXPECT_EQ(errorCode(fetch({.url = hangsUp.url("/x"), .method = "POST", .body = bytes("{}")})), NSURLError::networkConnectionLost);

    HttpError error = std::get<HttpError>(fetch({.url = "http://127.0.0.1:" + std::to_string(RawSocket::closedPort()) + "/"}));
    EXPECT_EQ(error.message, "Could not connect to the server.");
}

TEST_F(CurlHttpSessionTest, AServerThatNeverAnswersTimesOutAfterTheRequestsIdleTime)
{
    RawSocket silent(RawSocket::Mode::listenOnly);
    auto started = std::chrono::steady_clock::now();
    HttpResult result = fetch({.url = silent.url("/x"), .method = "POST", .body = bytes("{}"), .timeout = std::chrono::milliseconds(300)});
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(errorCode(result), NSURLError::timedOut);
    EXPECT_EQ(std::get<HttpError>(result).message, "The request timed out.");
    EXPECT_GE(took, std::chrono::milliseconds(300));
    EXPECT_LT(took, std::chrono::seconds(5));
}

TEST_F(CurlHttpSessionTest, AnAnswerThatKeepsTricklingIsNotCutOffByTheIdleTime)
{
    server.http.Get("/slow", [](const httplib::Request&, httplib::Response& response) {
        // Not a text type, so the server does not hold the chunks back to compress them.
        response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 6) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            sink.write("ab", 2);
            return true;
        });
    });
    server.start();
    HttpResult result = fetch({.url = server.url("/slow"), .timeout = std::chrono::milliseconds(250)});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(result)) << std::get<HttpError>(result).message;
    EXPECT_EQ(textOf(*std::get<HttpResponse>(result).body), "ababab");
}

TEST_F(CurlHttpSessionTest, AnAnswerThatTricklesOnAndOnFailsAtItsTotalTime)
{
    server.http.Get("/drip", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            // Three seconds in all, so that the server's thread ends even if the client never
            // gives up.
            if (offset >= 150) {
                sink.done();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return sink.write("x", 1);
        });
    });
    server.start();
    auto started = std::chrono::steady_clock::now();
    HttpResult result = fetch({.url = server.url("/drip"), .timeout = std::chrono::seconds(2), .totalTimeout = std::chrono::milliseconds(500)});
    auto took = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(errorCode(result), NSURLError::timedOut);
    EXPECT_GE(took, std::chrono::milliseconds(500));
    EXPECT_LT(took, std::chrono::seconds(3));
}

TEST_F(CurlHttpSessionTest, AnAnswerLongerThanTheBodyLimitFailsOnceWithoutBeingKept)
{
    constexpr size_t limit = 256 * 1024;
    // Not a text type, so the server sends the bytes as they are.
    server.http.Get("/streamed", [](const httplib::Request&, httplib::Response& response) {
        response.set_chunked_content_provider("application/octet-stream", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 8 * limit) {
                sink.done();
                return true;
            }
            const std::string chunk(16 * 1024, 'x');
            return sink.write(chunk.data(), chunk.size());
        });
    });
    server.http.Get("/announced", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(limit + 1, 'y'), "application/octet-stream");
    });
    server.http.Get("/fits", [](const httplib::Request&, httplib::Response& response) {
        response.set_content(std::string(limit, 'z'), "application/octet-stream");
    });
    server.start();

    for (const char* path : {"/streamed", "/announced"}) {
        HttpResult result = fetch({.url = server.url(path), .maxBodyBytes = limit});
        EXPECT_EQ(errorCode(result), NSURLError::dataLengthExceedsMaximum) << path;
    }
    HttpResult fits = fetch({.url = server.url("/fits"), .maxBodyBytes = limit});
    ASSERT_TRUE(std::holds_alternative<HttpResponse>(fits));
    EXPECT_EQ(std::get<HttpResponse>(fits).body->size(), limit);
    EXPECT_FALSE(results.waitFor(4, std::chrono::milliseconds(100))) << "one completion each";
}

TEST_F(CurlHttpSessionTest, CancelEndsARunningExchangeOnceAndLaterCancelsDoNothing)
{
    RawSocket silent(RawSocket::Mode::listenOnly);
    HttpTask task = session.dataTask({.url = silent.url("/x")}, [this](HttpResult result) { results.put(std::move(result)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    task.cancel();
    ASSERT_TRUE(results.waitFor(1));
    EXPECT_EQ(errorCode(results.values()[0]), NSURLError::cancelled);

    task.cancel();
    HttpTask().cancel();
    EXPECT_FALSE(results.waitFor(2, std::chrono::milliseconds(100)));
}

TEST_F(CurlHttpSessionTest, ManyThreadsStartExchangesAtOnceAndEachCompletesOnceWithItsOwnAnswer)
{
    server.http.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
        response.set_content(request.body, "text/plain");
    });
    server.start();

    Inbox<std::pair<std::string, std::string>> answers;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                std::string tag = std::to_string(t) + "-" + std::to_string(i);
                session.dataTask({.url = server.url("/echo"), .method = "POST", .body = bytes(tag)}, [&answers, tag](HttpResult result) {
                    auto* response = std::get_if<HttpResponse>(&result);
                    answers.put({tag, response && response->body ? textOf(*response->body) : "<error>"});
                });
            }
        });
    }
    for (auto& thread : threads)
        thread.join();
    ASSERT_TRUE(answers.waitFor(40));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(answers.size(), 40u);
    for (const auto& [tag, body] : answers.values())
        EXPECT_EQ(tag, body);
}

// The idle time runs only once an exchange has its connection. Six exchanges hold every
// connection the host is given until the test lets them answer; two more, with a shorter idle time,
// wait behind them until a third exchange with that idle time, started after them on a server
// that never answers, has timed out: had waiting counted as idle, theirs would have run out first.
TEST_F(CurlHttpSessionTest, ExchangesWaitingForAConnectionToTheHostAreNotIdle)
{
    std::mutex gateMutex;
    std::condition_variable gateChanged;
    bool open = false;
    Inbox<int> arrived;
    server.http.Get("/held", [&](const httplib::Request&, httplib::Response& response) {
        arrived.put(1);
        std::unique_lock lock(gateMutex);
        // Bounded, so that a test that fails never leaves the server waiting.
        gateChanged.wait_for(lock, std::chrono::seconds(30), [&] { return open; });
        response.set_content("done", "application/octet-stream");
    });
    server.start();
    auto openGate = [&] {
        {
            std::lock_guard lock(gateMutex);
            open = true;
        }
        gateChanged.notify_all();
    };

    for (int i = 0; i < 6; ++i)
        session.dataTask({ .url = server.url("/held") }, [this](HttpResult result) { results.put(std::move(result)); });
    if (!arrived.waitFor(6)) {
        openGate();
        FAIL() << "the six exchanges did not reach the server";
    }
    // Long beside the moment an answered exchange stays silent, however loaded the machine.
    const auto shortIdle = std::chrono::milliseconds(1000);
    for (int i = 0; i < 2; ++i)
        session.dataTask({ .url = server.url("/held"), .timeout = shortIdle }, [this](HttpResult result) { results.put(std::move(result)); });
    RawSocket silent(RawSocket::Mode::listenOnly);
    Inbox<HttpResult> sentinel;
    session.dataTask({ .url = silent.url("/x"), .timeout = shortIdle }, [&](HttpResult result) { sentinel.put(std::move(result)); });
    const bool sentinelEnded = sentinel.waitFor(1);
    const size_t endedWhileWaiting = results.size();
    openGate();
    ASSERT_TRUE(sentinelEnded);
    EXPECT_EQ(errorCode(sentinel.values()[0]), NSURLError::timedOut);
    EXPECT_EQ(endedWhileWaiting, 0u);

    ASSERT_TRUE(results.waitFor(8));
    for (const auto& result : results.values())
        EXPECT_TRUE(std::holds_alternative<HttpResponse>(result)) << std::get<HttpError>(result).message;
}

TEST(CurlHttpSessionLifetime, DestroyingTheSessionCancelsWhatRunsAndReturnsPromptly)
{
    RawSocket silent(RawSocket::Mode::listenOnly);
    Inbox<HttpResult> results;
    HttpTask task;
    auto started = std::chrono::steady_clock::now();
    {
        CurlHttpSession session;
        task = session.dataTask({.url = silent.url("/x")}, [&](HttpResult result) { results.put(std::move(result)); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    ASSERT_TRUE(results.waitFor(1));
    ASSERT_TRUE(std::holds_alternative<HttpError>(results.values()[0]));
    EXPECT_EQ(std::get<HttpError>(results.values()[0]).code, NSURLError::cancelled);
    task.cancel(); // the session is gone: nothing happens
}

TEST(CurlHttpSessionIdle, AnExchangeInFlightCountsAsBackgroundWork)
{
    LoopbackServer server;
    server.http.Get("/late", [](const httplib::Request&, httplib::Response& response) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        response.set_content("late", "text/plain");
    });
    server.start();
    CurlHttpSession session;
    std::atomic<bool> completed = false;
    session.dataTask({.url = server.url("/late")}, [&](HttpResult) { completed = true; });
    ASSERT_TRUE(Dispatch::waitUntilIdle());
    EXPECT_TRUE(completed);
}

// With nothing to do the worker sleeps until someone needs it: each request of a series, sent
// after the one before was answered, is taken at once, and ending the idle session returns
// promptly.
TEST(CurlHttpSessionIdle, TheSleepingWorkerWakesAtOnceForTheNextRequestAndForTheEnd)
{
    LoopbackServer server;
    server.http.Get("/page", [](const httplib::Request&, httplib::Response& response) { response.set_content("page", "text/plain"); });
    server.start();
    auto session = std::make_shared<CurlHttpSession>();
    Inbox<HttpResult> results;
    for (size_t n = 1; n <= 5; ++n) {
        session->dataTask({ .url = server.url("/page") }, [&](HttpResult result) { results.put(std::move(result)); });
        if (!results.waitFor(n)) {
            ADD_FAILURE() << "request " << n << " was not taken";
            break;
        }
        EXPECT_TRUE(std::holds_alternative<HttpResponse>(results.values().back()));
    }

    // The thread owns what it touches, so that a worker that never wakes fails the test instead
    // of hanging it.
    auto ended = std::make_shared<Inbox<bool>>();
    std::thread ending([session = std::exchange(session, nullptr), ended]() mutable {
        session.reset();
        ended->put(true);
    });
    const bool woke = ended->waitFor(1);
    EXPECT_TRUE(woke) << "the idle worker did not wake for the end";
    if (woke)
        ending.join();
    else
        ending.detach();
}

} // namespace
} // namespace lorvantine
