#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/PasteboardPort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/RawDesktopClient.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <mutex>
#include <numeric>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace lorvantine {
namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;
using test::Heard;
using test::RawClient;
using test::hearFrom;
using test::nextMessage;

// The built server in a process of its own, with at most `maxDescriptors` open descriptors when
// given, on the fixture when given; stopped (SIGTERM) at the end.
class ServerProcess {
public:
    ServerProcess(const std::string& path, std::optional<rlim_t> maxDescriptors, const std::string& fixture = "")
    {
        const std::string binary = LORVANTINE_BINARY_DIR "/lorvantine-desktop-server";
        const std::string socket = std::string(DesktopSocket::environmentVariable) + "=" + path;
        char* environment[] = { const_cast<char*>(socket.c_str()), nullptr };
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        m_pid = ::fork();
        if (m_pid == 0) {
            ::dup2(out[1], 1);
            if (maxDescriptors) {
                const rlimit limit { *maxDescriptors, *maxDescriptors };
                ::setrlimit(RLIMIT_NOFILE, &limit);
            }
            if (fixture.empty())
                ::execle(binary.c_str(), binary.c_str(), static_cast<char*>(nullptr), environment);
            else
                ::execle(binary.c_str(), binary.c_str(), fixture.c_str(), static_cast<char*>(nullptr), environment);
            ::_exit(127);
        }
        ::close(out[1]);
        std::string line;
        char c;
        while (::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        m_started = m_pid > 0 && line == socket;
        m_maxDescriptors = maxDescriptors.value_or(0);
    }
    ~ServerProcess()
    {
        if (m_pid > 0 && !m_reaped) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
    }

    bool started() const { return m_started; }
    pid_t pid() const { return m_pid; }
    std::vector<size_t> openDescriptors() const
    {
        std::vector<size_t> numbers;
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator("/proc/" + std::to_string(m_pid) + "/fd", ignored))
            numbers.push_back(std::stoul(entry.path().filename().string()));
        return numbers;
    }
    size_t descriptors() const { return openDescriptors().size(); }
    // Numbers below its limit that are not open (any above it were open in whoever started it).
    size_t freeDescriptors() const
    {
        const std::vector<size_t> open = openDescriptors();
        return m_maxDescriptors - static_cast<size_t>(std::count_if(open.begin(), open.end(), [&](size_t n) { return n < m_maxDescriptors; }));
    }
    // Waits (at most `limit`) until it holds `count` descriptors or fewer.
    bool descriptorsFallTo(size_t count, std::chrono::milliseconds limit) const
    {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (descriptors() > count && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(5ms);
        return descriptors() <= count;
    }
    // Ends it as a person does: its exit status; none when it had died of a signal before, or
    // when it does not end within 20 s (it is killed then).
    std::optional<int> stop()
    {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(m_pid, SIGKILL);
                ::waitpid(m_pid, nullptr, 0);
                m_reaped = true;
                return std::nullopt;
            }
            std::this_thread::sleep_for(5ms);
        }
        m_reaped = true;
        return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
    }

private:
    pid_t m_pid = -1;
    size_t m_maxDescriptors = 0;
    bool m_started = false;
    bool m_reaped = false;
};

// 150 clients come at once to a server that may hold 64 descriptors: each hears back, served or
// told why not, none is left waiting, and the server still leaves a few descriptors to the rest of
// its process (its libraries and the sanitizers' runtime open pipes as they go); once they have
// gone the server gives its descriptors back and serves the next clients, round after round.
TEST(DesktopServerLimits, AtItsDescriptorLimitItRefusesClientsAndServesAgainOnceTheyLeave)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    ServerProcess server(path, 64);
    ASSERT_TRUE(server.started());
    const size_t idle = server.descriptors();

    for (int round = 0; round < 2; ++round) {
        std::vector<RawClient> clients(150);
        std::vector<RawClient*> asking;
        // A client refused at once may find its request cannot go out any more; it still hears why.
        for (RawClient& client : clients) {
            if (!client.connect(path))
                continue;
            client.ask();
            asking.push_back(&client);
        }
        const std::vector<Heard> heard = hearFrom(asking, 20s);
        EXPECT_EQ(std::count(heard.begin(), heard.end(), Heard::nothing), 0) << "round " << round << ": a client left waiting";
        EXPECT_GT(std::count(heard.begin(), heard.end(), Heard::served), 20) << "round " << round;
        EXPECT_GT(std::count(heard.begin(), heard.end(), Heard::refused), 0) << "round " << round;
        // A pipe each for several threads at once.
        EXPECT_GE(server.freeDescriptors(), 8u) << "round " << round << ": descriptors left at the fullest";
        clients.clear();

        ASSERT_TRUE(server.descriptorsFallTo(idle, 20s)) << "round " << round << ": " << server.descriptors() << " descriptors held";
        RawClient next;
        ASSERT_TRUE(next.connect(path) && next.ask());
        EXPECT_EQ(hearFrom({ &next }, 20s), std::vector<Heard> { Heard::served }) << "round " << round;
    }
    EXPECT_EQ(server.stop(), 0);
}

// The glibc stack of a new thread is mapped memory: with the address space held to what the
// server uses now, no thread can be started for the next client.
TEST(DesktopServerLimits, AClientNoThreadCanBeStartedForIsToldSoAndTheServerGoesOn)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a sanitizer maps memory of its own as it goes";
#endif
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    ServerProcess server(path, std::nullopt);
    ASSERT_TRUE(server.started());
    RawClient steady;
    ASSERT_TRUE(steady.connect(path) && steady.ask());
    ASSERT_EQ(hearFrom({ &steady }, 20s), std::vector<Heard> { Heard::served });

    size_t mapped = 0;
    std::ifstream status("/proc/" + std::to_string(server.pid()) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmSize:"))
            mapped = std::stoul(line.substr(7)) * 1024;
    ASSERT_GT(mapped, 0u);
    rlimit previous {};
    const rlimit held { mapped + (4 << 20), RLIM_INFINITY };
    ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, &held, &previous), 0);

    RawClient refused;
    ASSERT_TRUE(refused.connect(path));
    refused.ask();
    ASSERT_EQ(hearFrom({ &refused }, 20s), std::vector<Heard> { Heard::refused });
    ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, &previous, nullptr), 0);

    ASSERT_TRUE(steady.ask());
    EXPECT_EQ(hearFrom({ &steady }, 20s), std::vector<Heard> { Heard::served });
    RawClient later;
    ASSERT_TRUE(later.connect(path) && later.ask());
    EXPECT_EQ(hearFrom({ &later }, 20s), std::vector<Heard> { Heard::served });
    EXPECT_EQ(server.stop(), 0);
}

// A runner hands the served desktop's "open" and "osascript" a device without end, a named pipe
// nobody writes to and a file larger than any text: each run is answered with the reason, another
// client is served all along, and the server still stops on SIGTERM.
TEST(DesktopServerLimits, FilesThatAreNoDocumentsAreRefusedThroughTheServerWhichGoesOnAndStops)
{
    test::ScratchDirectory scratch;
    const std::string path = (scratch / "desktop.sock").string();
    ServerProcess server(path, std::nullopt, LORVANTINE_SOURCE_DIR "/tests/fixtures/probe-matrix-desktop.json");
    ASSERT_TRUE(server.started());
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // A read without end fails there instead of taking the machine's memory.
    rlimit cap {};
    ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, nullptr, &cap), 0);
    cap.rlim_cur = std::min(cap.rlim_cur, rlim_t(4) << 30);
    ASSERT_EQ(::prlimit(server.pid(), RLIMIT_AS, &cap, nullptr), 0);
#endif
    const std::string pipe = (scratch / "fixture.txt").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    const std::string large = (scratch / "export.txt").string();
    std::ofstream(large).close();
    std::filesystem::resize_file(large, (uint64_t(64) << 20) + 1);

    RawClient steady, runner;
    ASSERT_TRUE(steady.connect(path) && runner.connect(path));
    int64_t id = 0;
    for (const std::string& file : { std::string("/dev/zero"), pipe, large }) {
        for (const std::vector<std::string>& command : std::vector<std::vector<std::string>> {
                 { "/usr/bin/open", "-b", "com.example.PlainEdit", file }, { "/usr/bin/osascript", file } }) {
            ASSERT_TRUE(runner.send({ { "id", ++id }, { "op", "pr.run" }, { "program", command.front() },
                                      { "arguments", std::vector<std::string>(command.begin() + 1, command.end()) } }));
            auto answer = nextMessage(runner, 20s);
            ASSERT_TRUE(answer) << command.front() << " " << file << ": no answer";
            EXPECT_EQ(answer->value("id", int64_t(0)), id);
            const Json outcome = answer->value("ok", Json());
            EXPECT_EQ(outcome.value("exitStatus", 0), 1) << answer->dump();
            EXPECT_NE(outcome.value("standardError", std::string()).find(file), std::string::npos) << answer->dump();
            ASSERT_TRUE(steady.ask());
            EXPECT_EQ(hearFrom({ &steady }, 20s), std::vector<Heard> { Heard::served }) << file;
        }
    }
    // A run left waiting on the pipe would hold the server's stop.
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
    EXPECT_LT(writer, 0) << "someone still waits on the pipe";
    if (writer >= 0)
        ::close(writer);
    EXPECT_EQ(server.stop(), 0);
}

// The served demo desktop in this process, with one client.
class DesktopServerLimitsTest : public ::testing::Test {
protected:
    void SetUp() override { RunLoop::adoptCurrentThreadAsMain(); }
    void TearDown() override
    {
        remote.reset();
        server.reset();
        RunLoop::runPending();
    }
    void startServer(DesktopServer::Options options)
    {
        std::string error;
        server = DesktopServer::start(desktop, socketPath, error, std::move(options));
        ASSERT_TRUE(server) << error;
        remote = RemoteDesktop::connect(socketPath, error);
        ASSERT_TRUE(remote) << error;
    }
    bool runUntil(const std::function<bool()>& done) { return RunLoop::runUntil(done, std::chrono::seconds(20)); }

    test::ScratchDirectory scratch;
    std::string socketPath = (scratch / "desktop.sock").string();
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    PlatformServices local = desktop->services();
    std::unique_ptr<DesktopServer> server;
    std::shared_ptr<RemoteDesktop> remote;
};

// A large browser copy: a 1.2 MB clipboard of two 600 KB representations, read and written back
// by another process.
PasteboardItem largeCopy()
{
    std::string text, html = "<p>";
    for (int i = 0; text.size() < 600'000; ++i)
        text += "Paragraph " + std::to_string(i) + " of a long page copied whole from the browser. ";
    html += text + "</p>";
    return { { { "public.utf8-plain-text", text }, { "public.html", html } } };
}

TEST_F(DesktopServerLimitsTest, ValuesOverAMegabyteReachTheClientAndBack)
{
    startServer({});
    const PlatformServices ports = remote->services();
    PasteboardPort& pasteboard = *ports.pasteboard;
    const PasteboardItem copy = largeCopy();
    ASSERT_TRUE(local.pasteboard->writeObjects({ copy }));
    EXPECT_EQ(pasteboard.pasteboardItems(), std::vector<PasteboardItem> { copy });

    PasteboardItem changed = copy;
    changed.representations.begin()->second += " And one more line.";
    pasteboard.clearContents();
    EXPECT_TRUE(pasteboard.writeObjects({ changed }));
    EXPECT_EQ(local.pasteboard->pasteboardItems(), std::vector<PasteboardItem> { changed });
    EXPECT_EQ(server->connectionCount(), 1u);
}

// Above the server's own limit an answer is not sent: the client hears why instead, both sides
// log it, and the connection goes on.
TEST_F(DesktopServerLimitsTest, AnAnswerAboveTheLimitIsRefusedWithAReasonAndTheClientStays)
{
    Log::Capture log;
    startServer({ .maxMessageBytes = 256 * 1024 });
    PlatformServices ports = remote->services();
    ASSERT_TRUE(local.pasteboard->writeObjects({ largeCopy() }));
    EXPECT_TRUE(ports.pasteboard->pasteboardItems().empty());
    EXPECT_EQ(log.linesContaining("[DesktopServer] an answer not sent to a client: a message of ").size(), 1u);
    EXPECT_EQ(log.linesContaining("the answer is too large to send").size(), 1u) << "the client says why it has nothing";
    EXPECT_EQ(ports.workspace->frontmostApplication()->bundleIdentifier, "com.apple.Safari");
    EXPECT_EQ(server->connectionCount(), 1u);
}

// A clipboard larger than all that may wait for a client, asked for just before the window list:
// the first answer fills the socket and its rest goes out as the client reads; the second, itself
// above the limit, waits behind it (nothing else waits) and both come whole, in order.
TEST_F(DesktopServerLimitsTest, AnAnswerAboveTheQueueLimitWaitsWholeBehindOneGoingOut)
{
    Log::Capture log;
    startServer({ .maxQueuedBytes = 256 });
    const PasteboardItem copy = largeCopy();
    ASSERT_TRUE(local.pasteboard->writeObjects({ copy }));
    RawClient client;
    ASSERT_TRUE(client.connect(socketPath));
    ASSERT_TRUE(client.send({ { "id", 1 }, { "op", "pb.items" } }));
    ASSERT_TRUE(client.send({ { "id", 2 }, { "op", "ws.windows" }, { "options", 0 } }));
    // Both read by the server before the client reads anything.
    ASSERT_TRUE(runUntil([&] { return client.unread() == 0; }));
    auto items = nextMessage(client, 20s);
    ASSERT_TRUE(items) << "the connection ended";
    EXPECT_EQ(items->value("id", 0), 1);
    EXPECT_EQ(DesktopWire::readItems(items->value("ok", Json()), DesktopWire::readPasteboardItem),
              std::vector<PasteboardItem> { copy });
    auto windows = nextMessage(client, 20s);
    ASSERT_TRUE(windows) << "the connection ended";
    EXPECT_EQ(windows->value("id", 0), 2);
    EXPECT_GT(Json::to_cbor(*windows).size(), 256u) << "the window list is itself above the limit";
    EXPECT_EQ(DesktopWire::readItems(windows->value("ok", Json()), DesktopWire::readWindowInfo),
              local.windowServer->copyWindowInfo(0));
    ASSERT_TRUE(client.ask());
    EXPECT_EQ(hearFrom({ &client }, 20s), std::vector<Heard> { Heard::served });
    EXPECT_TRUE(log.linesContaining("dropping a client").empty());
}

// A client reads a large clipboard as it comes while the applications switch and it asks for the
// clipboard again: what is written on the sender's thread never lands inside a message still going
// out, nor ahead of one waiting, so every message comes whole and answers and pushes keep their order.
TEST_F(DesktopServerLimitsTest, MessagesSentWhileALargeOneGoesOutInPartsComeWholeAndInOrder)
{
    startServer({});
    const PasteboardItem copy = largeCopy();
    ASSERT_TRUE(local.pasteboard->writeObjects({ copy }));
    RawClient client;
    ASSERT_TRUE(client.connect(socketPath));
    ASSERT_TRUE(client.send({ { "id", 1 }, { "op", "wk.observe" }, { "channel", 1 } }));
    ASSERT_EQ(nextMessage(client, 20s), (Json { { "id", 1 }, { "ok", true } }));

    // The applications switch for as long as each answer is on its way, a few switches ahead of
    // what the client has heard.
    constexpr int rounds = 24;
    constexpr size_t ahead = 1000;
    std::mutex lock;
    std::vector<Json> heard;
    size_t answersHeard = 0;
    std::string fault;
    std::thread reading([&] {
        for (;;) {
            DesktopFrame::Read read = DesktopFrame::read(client.fd());
            std::lock_guard guard(lock);
            if (read.kind != DesktopFrame::Read::Kind::message) {
                fault = read.kind == DesktopFrame::Read::Kind::closed ? "the connection ended" : read.reason;
                return;
            }
            answersHeard += read.message.contains("push") ? 0 : 1;
            heard.push_back(std::move(read.message));
        }
    });
    auto answered = [&](size_t count) {
        std::lock_guard guard(lock);
        return answersHeard >= count || !fault.empty();
    };
    auto pushesHeard = [&] {
        std::lock_guard guard(lock);
        return heard.size() - answersHeard;
    };
    const std::vector<ProcessID> pids { 502, 501 };
    size_t switches = 0;
    for (size_t round = 0; round < rounds; ++round) {
        ASSERT_TRUE(client.send({ { "id", 100 + round }, { "op", "pb.items" } }));
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (!answered(round + 1) && std::chrono::steady_clock::now() < deadline) {
            if (switches - pushesHeard() >= ahead) {
                std::this_thread::yield();
                continue;
            }
            ASSERT_TRUE(desktop->setFrontmost(pids[switches++ % 2]));
            RunLoop::runPending();
        }
    }
    std::string faultSeen;
    const bool complete = runUntil([&] {
        std::lock_guard guard(lock);
        faultSeen = fault;
        return heard.size() == rounds + switches || !fault.empty();
    });
    ::shutdown(client.fd(), SHUT_RDWR);
    reading.join();
    ASSERT_TRUE(complete && faultSeen.empty()) << heard.size() << " messages of " << rounds + switches << ", then: " << faultSeen;
    std::vector<int64_t> answers;
    std::vector<ProcessID> pushed;
    for (const Json& message : heard) {
        if (message.contains("push")) {
            auto application = DesktopWire::readApplication(message.value("application", Json()));
            pushed.push_back(application ? application->pid : -1);
            continue;
        }
        answers.push_back(message.value("id", int64_t(0)));
        EXPECT_EQ(DesktopWire::readItems(message.value("ok", Json()), DesktopWire::readPasteboardItem),
                  std::vector<PasteboardItem> { copy });
    }
    std::vector<int64_t> asked(rounds);
    std::iota(asked.begin(), asked.end(), 100);
    EXPECT_EQ(answers, asked);
    ASSERT_EQ(pushed.size(), switches);
    for (size_t i = 0; i < pushed.size(); ++i)
        ASSERT_EQ(pushed[i], pids[i % 2]) << "switch " << i;
}

// A subscriber that stops reading while the applications switch 4,000 times: another one hears
// every switch, in order, without waiting on it; the one that does not read is dropped.
TEST_F(DesktopServerLimitsTest, ASubscriberThatStopsReadingIsDroppedWithoutHoldingUpTheOthers)
{
    Log::Capture log;
    startServer({ .maxQueuedBytes = 128 * 1024 });
    RawClient stuck;
    ASSERT_TRUE(stuck.connect(socketPath));
    ASSERT_TRUE(stuck.send({ { "id", 1 }, { "op", "wk.observe" }, { "channel", 1 } }));
    ASSERT_TRUE(runUntil([&] { return server->connectionCount() == 2 && stuck.unread() == 0; }));
    std::vector<ProcessID> heard;
    auto watch = remote->services().workspace->observeActivation([&](const RunningApplication& app) { heard.push_back(app.pid); });
    // The watch is in place once a later request has been answered.
    ASSERT_TRUE(remote->services().workspace->frontmostApplication());

    // A person switching applications: each switch once the last one has been heard.
    const std::vector<ProcessID> pids { 502, 501 };
    constexpr size_t switches = 4000;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    for (size_t i = 0; i < switches; ++i) {
        ASSERT_TRUE(desktop->setFrontmost(pids[i % 2]));
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        ASSERT_TRUE(RunLoop::runUntil([&] { return heard.size() > i; }, std::max(left, 0ms))) << heard.size() << " switches heard";
    }
    for (size_t i = 0; i < heard.size(); ++i)
        ASSERT_EQ(heard[i], pids[i % 2]) << "switch " << i;
    EXPECT_TRUE(runUntil([&] { return server->connectionCount() == 1; }));
    EXPECT_EQ(log.linesContaining("[DesktopServer] dropping a client that does not read").size(), 1u);
}

// Connections that announce large messages and send a few bytes of them make the server hold
// no more than those bytes.
TEST_F(DesktopServerLimitsTest, AnAnnouncedFrameIsNotReservedBeforeItsBytesCome)
{
    startServer({});
    auto held = [] {
        const struct mallinfo2 info = ::mallinfo2();
        return info.uordblks + info.hblkhd;
    };
    const size_t before = held();
    std::vector<RawClient> clients(4);
    const std::string start = { char(0x02), char(0x00), char(0x00), char(0x00), char(0xa2), char(0x62), 'i', 'd' };
    for (RawClient& client : clients) {
        ASSERT_TRUE(client.connect(socketPath));
        ASSERT_EQ(::send(client.fd(), start.data(), start.size(), MSG_NOSIGNAL), ssize_t(start.size()));
    }
    // Each announces 32 MiB; the server has read what came once nothing is left unread.
    ASSERT_TRUE(runUntil([&] {
        return std::all_of(clients.begin(), clients.end(), [](const RawClient& c) { return c.unread() == 0; });
    }));
    EXPECT_LT(held() - std::min(held(), before), size_t(8) << 20) << "bytes held for announced frames";
    clients.clear();
    EXPECT_TRUE(runUntil([&] { return server->connectionCount() == 1; }));
}

} // namespace
} // namespace lorvantine
