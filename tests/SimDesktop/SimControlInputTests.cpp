#include "SimDesktop/Control/SimControlInput.h"
#include "SimDesktop/Control/SimControlPipe.h"

#include "Platform/Dispatch/Dispatch.h"
#include "TestSupport/ManualClockTest.h"
#include "TestSupport/ScratchDirectory.h"

#include <gmock/gmock.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <thread>
#include <vector>

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
                              [&](std::string text, SimControlInput::Line kind, SimControlInput::Place) {
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

// A driver waits for the pipe to appear and writes at once: whenever the path is there, someone
// reads it, from the moment the pipe is made.
TEST(SimControlPipe, IsThereOnlyOnceItIsRead)
{
    test::ScratchDirectory scratch;
    auto pathOf = [&](int i) { return scratch / ("control-" + std::to_string(i)); };
    std::atomic<int> making { 0 };
    std::atomic<bool> done { false };
    std::atomic<int> unread { 0 };
    std::thread driver([&] {
        while (!done) {
            const int fd = ::open(pathOf(making).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (fd >= 0)
                ::close(fd);
            else if (errno == ENXIO)
                ++unread;
        }
    });
    // Kept until the driver stops: a pipe on its way out may be found as it goes.
    std::vector<std::unique_ptr<SimControlPipe>> pipes;
    for (int i = 0; i < 200; ++i) {
        making = i;
        auto pipe = SimControlPipe::open(pathOf(i));
        if (!pipe) {
            ADD_FAILURE() << pipe.error();
            break;
        }
        pipes.push_back(std::move(*pipe));
    }
    done = true;
    driver.join();
    EXPECT_EQ(unread, 0) << "times the path led to a pipe nobody read";
}

} // namespace
} // namespace lorvantine
