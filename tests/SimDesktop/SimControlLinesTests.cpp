#include "SimDesktop/Control/SimControlInput.h"
#include "SimDesktop/Control/SimControlServer.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace lorvantine {
namespace {

using ::testing::Each;
using ::testing::ElementsAre;
using ::testing::Not;
using ::testing::HasSubstr;
using ::testing::StartsWith;

// The control server on the demo desktop reading its pipe, its answers kept in order.
class SimControlLinesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        auto started = SimControlServer::start(desktop, { .readStandardInput = false, .pipe = pipe,
                                                          .answer = [this](const std::string& line) { answers.push_back(line); } });
        ASSERT_TRUE(started) << started.error();
        server = std::move(*started);
    }
    void TearDown() override
    {
        server.reset();
        RunLoop::runPending();
    }

    // One writer: opens the pipe, writes, goes away.
    void write(const std::string& bytes)
    {
        const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        EXPECT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        ::close(fd);
    }
    // Runs the main queue until `count` answers have come (at most five seconds of real time).
    bool waitForAnswers(size_t count)
    {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (answers.size() < count && std::chrono::steady_clock::now() < limit) {
            RunLoop::runPending();
            std::this_thread::yield();
        }
        return answers.size() >= count;
    }
    bool trusted() { return desktop->services().accessibility->isProcessTrusted(AccessibilityPort::Prompt::no); }

    test::ScratchDirectory scratch;
    std::filesystem::path pipe = scratch / "control";
    std::shared_ptr<SimDesktop> desktop = SimDesktop::demo();
    Platform::ScopedServices ports { desktop->services() };
    std::unique_ptr<SimControlServer> server;
    std::vector<std::string> answers;
};

// A driver sends a batch and reads one answer line per command: texts holding line breaks (as
// JSON strings allow) must not add lines of their own.
TEST_F(SimControlLinesTest, EveryCommandGetsOneAnswerLineWhateverItQuotes)
{
    const std::vector<std::string> commands {
        R"(front "a\nok 999")",
        R"(front "com.apple.Safari")",
        R"(press "Line one\r\nLine two")",
        R"(press "tab\there")",
        R"(front "next\u2028line\u0085end")",
        R"(key "x\ny")",
        R"(key escape "shift\nok")",
        R"(click "1\n" 2)",
        R"("fly\nok away")",
        R"(snapshot "/nonexistent dir\n/ok.png")",
        "trust off",
        R"(front "\u0000\u001f\u007f")",
        "trust on",
        "windows",
    };
    std::string batch;
    for (const std::string& command : commands)
        batch += command + "\n";
    write(batch);
    ASSERT_TRUE(waitForAnswers(commands.size()));
    RunLoop::runPending();
    ASSERT_EQ(answers.size(), commands.size()) << "one answer per command, no stray lines";
    for (const std::string& answer : answers) {
        EXPECT_EQ(answer.find_first_of(std::string("\n\r\0\x1f\x7f", 5)), std::string::npos) << answer;
        EXPECT_THAT(answer, Not(HasSubstr("\xe2\x80\xa8"))) << answer;
        EXPECT_THAT(answer, Not(HasSubstr("\xc2\x85"))) << answer;
        EXPECT_TRUE(answer.starts_with("ok") || answer.starts_with("error ")) << answer;
    }
    EXPECT_EQ(answers[0], R"(error no running application a\nok 999)");
    EXPECT_EQ(answers[1], "ok 501");
    EXPECT_EQ(answers[4], R"(error no running application next\u2028line\u0085end)");
    EXPECT_EQ(answers[10], "ok");
    EXPECT_EQ(answers[11], R"(error no running application \u0000\u001f\u007f)");
    EXPECT_THAT(answers[13], StartsWith("ok ["));
    EXPECT_TRUE(trusted());
}

// Writers come and go on one pipe; one that goes away in the middle of a line has that line
// refused on its own, and the next writer's command is carried out whole.
TEST_F(SimControlLinesTest, AWriterThatLeavesHalfALineDoesNotSwallowTheNextOne)
{
    write("trust off\n");
    ASSERT_TRUE(waitForAnswers(1));
    write("trust o");
    ASSERT_TRUE(waitForAnswers(2)) << "the cut line is answered once its writer has gone";
    write("windows\ntrust on\n");
    ASSERT_TRUE(waitForAnswers(4));
    EXPECT_EQ(answers[0], "ok");
    EXPECT_EQ(answers[1], "error line cut off: its writer closed the pipe before the line feed");
    EXPECT_THAT(answers[2], StartsWith("ok ["));
    EXPECT_EQ(answers[3], "ok");
    EXPECT_TRUE(trusted());
}

// A writer far ahead of the main queue: the input takes no more lines than it may hold (and one
// read's worth of bytes), and the rest waits in the pipe, so the writer is held there. Once the
// main queue runs, every line is carried out, in order, and the end of the input follows them.
TEST(SimControlInput, HoldsOnlyAFewLinesAheadOfTheMainQueueAndLosesNone)
{
    RunLoop::adoptCurrentThreadAsMain();
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC | O_NONBLOCK), 0);
    const std::string line = "trust on\n";
    size_t written = 0;
    while (::write(ends[1], line.data(), line.size()) == static_cast<ssize_t>(line.size()))
        ++written;
    ASSERT_GT(written, 1000u) << "the pipe holds many lines";
    ::close(ends[1]);
    auto unread = [&] {
        int bytes = 0;
        ::ioctl(ends[0], FIONREAD, &bytes);
        return static_cast<size_t>(bytes);
    };

    constexpr size_t maxHeld = 16;
    size_t handled = 0;
    size_t mostTaken = 0;
    bool ended = false;
    std::vector<std::string> wrong;
    {
        SimControlInput input(ends[0], { .maxBytes = 1024, .maxHeld = maxHeld },
                              [&](std::string text, SimControlInput::Line kind) {
                                  if (kind != SimControlInput::Line::complete || std::string_view(text) != "trust on")
                                      wrong.push_back(text);
                                  // Lines taken from the pipe beyond those handled: the held
                                  // ones, and what is left of the bytes of one read.
                                  const size_t taken = written - unread() / line.size() - handled++;
                                  mostTaken = std::max(mostTaken, taken);
                              },
                              [&] { ended = true; });
        ASSERT_TRUE(eventually([&] { return unread() < written * line.size(); })) << "the input reads";
        ASSERT_TRUE(RunLoop::runUntil([&] { return ended; }, std::chrono::seconds(20)));
    }
    ::close(ends[0]);
    EXPECT_EQ(handled, written);
    EXPECT_THAT(wrong, ElementsAre());
    EXPECT_LE(mostTaken, maxHeld + 4096 / line.size() + 1);
}

} // namespace
} // namespace lorvantine
