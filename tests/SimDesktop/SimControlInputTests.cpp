#include "SimDesktop/Control/SimControlInput.h"

#include "Platform/Dispatch/Dispatch.h"
#include "TestSupport/ManualClockTest.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>

namespace lorvantine {
namespace {

using ::testing::ElementsAre;

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
