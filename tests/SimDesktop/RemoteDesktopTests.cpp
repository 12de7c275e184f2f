#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/Scheduler.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace lorvantine {
namespace {

using Json = nlohmann::json;
using test::ScratchDirectory;

// Runs the main queue until `done` holds; real time is only a bound on a failure.
bool settle(const std::function<bool()>& done)
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!done() && std::chrono::steady_clock::now() < limit) {
        RunLoop::runPending();
        std::this_thread::yield();
    }
    return done();
}

class RemoteDesktopReconnectTest : public ManualClockTest {};

// The server is away for two minutes: the program keeps trying on the clock and, once the server
// is back, is connected again within two seconds however long it was away.
TEST_F(RemoteDesktopReconnectTest, AfterALongOutageItConnectsAgainWithinTwoSecondsOfTheServersReturn)
{
    Log::Capture log;
    ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    auto desktop = SimDesktop::demo();
    std::string error;
    auto server = DesktopServer::start(desktop, path, error);
    ASSERT_TRUE(server) << error;
    auto remote = RemoteDesktop::connect(path, error);
    ASSERT_TRUE(remote) << error;

    ASSERT_TRUE(Dispatch::waitUntilIdle());
    ASSERT_FALSE(Scheduler::shared().nextDeadline()) << "nothing else waits on the clock";
    server.reset();
    // Its first attempt has failed and the next waits on the clock: only then does the outage
    // last, on the clock, from its start.
    ASSERT_TRUE(settle([] { return Scheduler::shared().nextDeadline().has_value(); }));
    EXPECT_FALSE(remote->isConnected());
    Dispatch::advance(*clock, std::chrono::minutes(2));
    EXPECT_FALSE(remote->isConnected());

    server = DesktopServer::start(desktop, path, error);
    ASSERT_TRUE(server) << error;
    Dispatch::advance(*clock, std::chrono::seconds(2));
    EXPECT_TRUE(remote->isConnected()) << "not connected again within two seconds";
    auto front = remote->services().workspace->frontmostApplication();
    ASSERT_TRUE(front);
    EXPECT_EQ(front->bundleIdentifier, "com.apple.Safari");
    EXPECT_EQ(log.linesContaining("[Desktop] connected again to the desktop server at " + path).size(), 1u);
    remote.reset();
    server.reset();
}

// A server that answers one call with a message too large to decode (more values than any
// message holds): that call answers none and says so in the log; the connection stays and the
// next call is answered.
TEST(RemoteDesktopTest, AnAnswerTooLargeToDecodeAnswersItsCallNoneAndTheConnectionStays)
{
    RunLoop::adoptCurrentThreadAsMain();
    Log::Capture log;
    ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    auto listener = DesktopSocket::listen(path);
    ASSERT_TRUE(listener) << listener.error();
    std::thread server([listening = listener.value()] {
        const int fd = ::accept(listening, nullptr, nullptr);
        for (int call = 0;; ++call) {
            DesktopFrame::Read request = DesktopFrame::read(fd);
            if (request.kind != DesktopFrame::Read::Kind::message)
                break;
            const Json id = request.message["id"];
            if (call > 0) {
                DesktopFrame::write(fd, { { "id", id }, { "ok", "fine" } });
                continue;
            }
            // {"id": id, "ok": [{}, {}, …]}
            const std::vector<uint8_t> head = Json::to_cbor(Json { { "id", id } });
            const uint32_t maps = DesktopFrame::maxValues;
            std::string payload(head.begin(), head.end());
            payload[0] = '\xa2';
            payload += std::string("\x62ok\x9a") + char(maps >> 24) + char(maps >> 16) + char(maps >> 8) + char(maps);
            payload += std::string(maps, '\xa0');
            const size_t size = payload.size();
            const std::string frame = std::string { char(size >> 24), char(size >> 16), char(size >> 8), char(size) } + payload;
            DesktopFrame::writeBytes(fd, frame);
        }
        ::close(fd);
    });
    {
        std::string error;
        auto remote = RemoteDesktop::connect(path, error);
        ASSERT_TRUE(remote) << error;
        EXPECT_FALSE(remote->call({ { "op", "ws.screens" } }).has_value());
        EXPECT_EQ(remote->call({ { "op", "ws.screens" } }), Json("fine"));
        EXPECT_TRUE(remote->isConnected());
    }
    server.join();
    ::close(listener.value());
    EXPECT_EQ(log.linesContaining("[Desktop] a message of the desktop server left unread: refused message: more than").size(), 1u);
    EXPECT_TRUE(log.linesContaining("lost the desktop server").empty());
}

} // namespace
} // namespace lorvantine
