#include "Support/Log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <thread>
#include <unistd.h>

#include "Support/Files.h"

namespace lorvantine {
namespace {

using ::testing::ElementsAre;

// Points standard error at a file while it lives.
class StderrRedirect {
public:
    StderrRedirect()
    {
        m_path = Files::makePrivateTemporaryFile("log-test-", ".txt").value();
        m_saved = ::dup(STDERR_FILENO);
        int fd = ::open(m_path.c_str(), O_WRONLY | O_TRUNC);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~StderrRedirect()
    {
        restore();
        ::unlink(m_path.c_str());
    }
    std::string written()
    {
        restore();
        return Files::readAll(m_path).value();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        ::dup2(m_saved, STDERR_FILENO);
        ::close(m_saved);
        m_saved = -1;
    }
    std::string m_path;
    int m_saved = -1;
};

TEST(Log, WritesWholeLinesToStandardError)
{
    StderrRedirect redirect;
    Log::line("[Audio] 播放 🙂");
    Log::line("");
    EXPECT_EQ(redirect.written(), "[Audio] 播放 🙂\n\n");
}

TEST(Log, NestedCapturesAllReceiveAndSilenceUnlessEchoing)
{
    StderrRedirect redirect;
    {
        Log::Capture echoing(Log::Capture::Echo::yes);
        Log::line("[A] one");
        {
            Log::Capture quiet;
            Log::line("[B] two");
            EXPECT_THAT(quiet.lines(), ElementsAre("[B] two"));
            EXPECT_TRUE(quiet.contains("two"));
            EXPECT_FALSE(quiet.contains("one"));
        }
        Log::line("[C] three");
        EXPECT_THAT(echoing.lines(), ElementsAre("[A] one", "[B] two", "[C] three"));
        EXPECT_THAT(echoing.linesContaining("] t"), ElementsAre("[B] two", "[C] three"));
        echoing.clear();
        EXPECT_TRUE(echoing.lines().empty());
    }
    Log::line("[D] four");
    EXPECT_EQ(redirect.written(), "[A] one\n[C] three\n[D] four\n");
}

TEST(Log, LinesFromManyThreadsStayWholeAndOrderedPerThread)
{
    constexpr int threads = 8;
    constexpr int perThread = 500;
    StderrRedirect redirect;
    Log::Capture capture(Log::Capture::Echo::yes);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([t] {
            for (int i = 0; i < perThread; ++i)
                Log::line("[T" + std::to_string(t) + "] line " + std::to_string(i) + " " + std::string(200, 'x'));
        });
    }
    for (auto& worker : workers)
        worker.join();

    const std::vector<std::string> lines = capture.lines();
    ASSERT_EQ(lines.size(), size_t{threads * perThread});
    std::vector<int> next(threads, 0);
    for (const std::string& line : lines) {
        int t = 0;
        int i = 0;
        ASSERT_EQ(std::sscanf(line.c_str(), "[T%d] line %d", &t, &i), 2) << line;
        EXPECT_EQ(i, next[t]++) << line;
    }

    // What reached standard error is the same lines in the same order, none torn.
    std::string expected;
    for (const std::string& line : lines)
        expected += line + "\n";
    EXPECT_EQ(redirect.written(), expected);
}

} // namespace
} // namespace lorvantine
