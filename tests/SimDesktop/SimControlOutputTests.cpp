#include "SimDesktop/Control/SimControlOutput.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace lorvantine {
namespace {

// Answers as a controller sees them: window lists of a desktop with many windows open, each
// longer than a pipe's page, so that one the pipe cannot take whole fills it to the brim.
std::vector<std::string> windowListAnswers(int count)
{
    std::vector<std::string> answers;
    for (int i = 0; i < count; ++i) {
        std::string list = "ok [";
        for (int w = 0; w < 50 + i % 20; ++w)
            list += (w ? "," : "") + std::string(R"({"number":)") + std::to_string(9000 + w) + R"(,"owner":"Safari","title":"Reading list )"
                + std::to_string(i) + R"(","bounds":[160,30,1100,860],"layer":0})";
        answers.push_back(list + "]");
    }
    return answers;
}

// A pipe of one page: the first answer fills it.
bool makeOnePagePipe(int ends[2])
{
    return ::pipe2(ends, O_CLOEXEC) == 0 && ::fcntl(ends[0], F_SETPIPE_SZ, 4096) == 4096;
}

size_t unreadBytes(int fd)
{
    int bytes = 0;
    ::ioctl(fd, FIONREAD, &bytes);
    return static_cast<size_t>(bytes);
}

// Waits, bounded in real time, for `condition`.
template<typename Condition>
bool within(std::chrono::seconds limit, Condition condition)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::yield();
    }
    return true;
}

// Reads `fd` until it holds `count` lines or its end.
std::vector<std::string> readLines(int fd, size_t count)
{
    std::vector<std::string> lines;
    std::string pending;
    char buffer[8192];
    while (lines.size() < count) {
        pollfd waiting { fd, POLLIN, 0 };
        if (::poll(&waiting, 1, 10000) <= 0)
            break;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        pending.append(buffer, static_cast<size_t>(got));
        for (size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1))
            lines.push_back(pending.substr(0, end));
    }
    return lines;
}

// A controller that stops reading: sending goes on without waiting, the answers wait in order and
// each keeps its place until it has gone out; when the controller reads again every answer comes
// whole, in order.
TEST(SimControlOutput, HoldsAnswersForAReaderThatStoppedAndLosesNoneWhenItReadsAgain)
{
    int ends[2];
    ASSERT_TRUE(makeOnePagePipe(ends));
    const size_t capacity = static_cast<size_t>(::fcntl(ends[0], F_GETPIPE_SZ));
    const auto answers = windowListAnswers(300);
    std::atomic<size_t> gone { 0 };
    {
        SimControlOutput output(ends[1]);
        for (const std::string& answer : answers)
            output.send(answer, std::shared_ptr<void>(nullptr, [&gone](void*) { ++gone; }));
        ASSERT_TRUE(within(std::chrono::seconds(20), [&] { return unreadBytes(ends[0]) == capacity; })) << "the pipe fills up";
        EXPECT_EQ(gone.load(), 0u) << "answers that have not gone out keep their places";
        EXPECT_EQ(::fcntl(ends[1], F_GETFL) & O_NONBLOCK, 0) << "the descriptor others share keeps its flags";

        const auto read = readLines(ends[0], answers.size());
        EXPECT_EQ(read, answers);
        EXPECT_TRUE(within(std::chrono::seconds(20), [&] { return gone == answers.size(); }));
    }
    ::close(ends[0]);
    ::close(ends[1]);
}

// The program ends while the controller still does not read: the output gives up what cannot go
// out instead of waiting, and a controller that has gone away loses the answers, not the process.
TEST(SimControlOutput, GivesUpWhatCannotGoOutWhenItEndsOrTheReaderHasGone)
{
    int ends[2];
    ASSERT_TRUE(makeOnePagePipe(ends));
    const size_t capacity = static_cast<size_t>(::fcntl(ends[0], F_GETPIPE_SZ));
    const auto answers = windowListAnswers(100);
    std::atomic<size_t> gone { 0 };
    auto place = [&gone] { return std::shared_ptr<void>(nullptr, [&gone](void*) { ++gone; }); };
    {
        SimControlOutput output(ends[1]);
        for (const std::string& answer : answers)
            output.send(answer, place());
        ASSERT_TRUE(within(std::chrono::seconds(20), [&] { return unreadBytes(ends[0]) == capacity; }));
    }
    EXPECT_EQ(gone, answers.size()) << "every place is freed when the output ends";

    gone = 0;
    ::close(ends[0]);
    {
        SimControlOutput output(ends[1]);
        for (const std::string& answer : answers)
            output.send(answer, place());
        EXPECT_TRUE(within(std::chrono::seconds(20), [&] { return gone == answers.size(); })) << "answers nobody can read are dropped";
    }
    ::close(ends[1]);
}

} // namespace
} // namespace lorvantine
