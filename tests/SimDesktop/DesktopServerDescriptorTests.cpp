#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/RawDesktopClient.h"
#include "SimDesktop/Served/DesktopServer.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/resource.h>
#include <unistd.h>

namespace lorvantine {
namespace {

using namespace std::chrono_literals;
using test::Heard;
using test::RawClient;
using test::hearFrom;

// The served demo desktop in this process, whose descriptors the test holds to a limit of 256
// (the server leaves the top quarter, 64, to the rest of the process) and takes up itself.
class DesktopServerDescriptorsTest : public ::testing::Test {
protected:
    static constexpr rlim_t limit = 256;

    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &m_previous), 0);
        ASSERT_GE(m_previous.rlim_max, limit);
        const rlimit held { limit, m_previous.rlim_max };
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &held), 0);
        std::string error;
        server = DesktopServer::start(desktop, socketPath, error);
        ASSERT_TRUE(server) << error;
    }
    void TearDown() override
    {
        release();
        server.reset();
        RunLoop::runPending();
        ::setrlimit(RLIMIT_NOFILE, &m_previous);
    }

    // Takes every free descriptor up to `last` (all of them without one), as the rest of a busy
    // process would: the next one given out is then the one after `last`.
    void takeDescriptors(std::optional<int> last = std::nullopt)
    {
        for (;;) {
            const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                ASSERT_EQ(errno, EMFILE);
                ASSERT_FALSE(last) << "descriptors below " << *last << " ran out";
                return;
            }
            m_taken.push_back(fd);
            ASSERT_TRUE(!last || fd <= *last) << "descriptor " << *last << " was open already";
            if (last && fd == *last)
                return;
        }
    }
    void release()
    {
        for (int fd : m_taken)
            ::close(fd);
        m_taken.clear();
    }

    test::ScratchDirectory scratch;
    std::string socketPath = (scratch / "desktop.sock").string();
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    std::unique_ptr<DesktopServer> server;

private:
    rlimit m_previous {};
    std::vector<int> m_taken;
};

// The last non-spare descriptor serves a client; the first of the spare quarter is refused, with
// the reason, so that it stays free for the rest of the process.
TEST_F(DesktopServerDescriptorsTest, AClientOnTheFirstSpareDescriptorIsRefusedAndOneBelowItServed)
{
    constexpr int firstSpare = static_cast<int>(limit - limit / 4);
    RawClient below, onSpare;
    ASSERT_TRUE(below.makeSocket() && onSpare.makeSocket());
    takeDescriptors(firstSpare - 2);

    ASSERT_TRUE(below.connect(socketPath) && below.ask());
    EXPECT_EQ(hearFrom({ &below }, 20s), std::vector<Heard> { Heard::served }) << "on descriptor " << firstSpare - 1;
    ASSERT_TRUE(onSpare.connect(socketPath));
    onSpare.ask();
    EXPECT_EQ(hearFrom({ &onSpare }, 20s), std::vector<Heard> { Heard::refused }) << "on descriptor " << firstSpare;
    ASSERT_TRUE(below.ask());
    EXPECT_EQ(hearFrom({ &below }, 20s), std::vector<Heard> { Heard::served });
}

// With no descriptor left at all, the one the server keeps in reserve is given up to tell a client
// why it cannot be served, and taken again for the next: each of them hears it. Once descriptors
// are free again, clients are served.
TEST_F(DesktopServerDescriptorsTest, AtTheLimitEachRefusedClientIsToldWhy)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizers' runtime opens a pipe to check memory as it goes, which a process "
                    "without a descriptor left cannot";
#endif
    std::vector<RawClient> refused(3);
    for (RawClient& client : refused)
        ASSERT_TRUE(client.makeSocket());
    takeDescriptors();
    for (size_t i = 0; i < refused.size(); ++i) {
        ASSERT_TRUE(refused[i].connect(socketPath));
        refused[i].ask();
        EXPECT_EQ(hearFrom({ &refused[i] }, 20s), std::vector<Heard> { Heard::refused }) << "client " << i;
    }
    release();
    RawClient later;
    ASSERT_TRUE(later.connect(socketPath) && later.ask());
    EXPECT_EQ(hearFrom({ &later }, 20s), std::vector<Heard> { Heard::served });
}

} // namespace
} // namespace lorvantine
