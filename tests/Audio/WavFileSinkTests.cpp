#include "Platform/Backends/WavFileSink.h"

#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lorvantine {
namespace {

// Stereo at 24 kHz, as the player hands it over: a hundredth of a second at a time.
constexpr AudioFormat twoChannels { 24000, 2 };
constexpr size_t framesPerWrite = 240;

std::int16_t sampleAt(size_t index) { return static_cast<std::int16_t>(index * 7); }

// In a child whose files may not grow past `limitBytes` (its writes past it fail as on a full
// disk), plays three seconds into the file. Exits 0 when every write was taken and the failure
// was said once.
void playThreeSecondsUnder(const std::string& path, rlim_t limitBytes)
{
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit { limitBytes, limitBytes };
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        ::_exit(2);
    Log::Capture log;
    WavFileSink sink(path);
    AudioFormat actual;
    std::string error;
    if (!sink.open(twoChannels, actual, error))
        ::_exit(3);
    std::vector<std::int16_t> samples(framesPerWrite * 2);
    for (size_t written = 0; written < 3 * 24000 * 2; written += samples.size()) {
        for (size_t i = 0; i < samples.size(); ++i)
            samples[i] = sampleAt(written + i);
        if (!sink.write(samples))
            ::_exit(4);
    }
    sink.flush();
    ::_exit(log.linesContaining("[Audio] cannot write " + path + ": File too large; later sound is not recorded").size() == 1 ? 0 : 5);
}

std::uint32_t u32At(const std::string& bytes, size_t at)
{
    std::uint32_t value = 0;
    std::memcpy(&value, bytes.data() + at, 4);
    return value;
}

// A write the disk cannot take whole ends the recording there: the file keeps the whole frames
// that reached it, and its header says exactly that much, wherever in a write the room ran out.
TEST(WavFileSink, AWriteCutShortLeavesTheSoundThatReachedTheFileAndAHeaderThatCoversExactlyThat)
{
    struct Case {
        const char* name;
        rlim_t limit;
        std::uint32_t kept;
    };
    const Case cases[] = {
        { "in the middle of a frame of the second second", 44 + 100001, 100000 },
        { "right after the first second", 44 + 96000, 96000 },
        { "within the first frame", 47, 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::ScratchDirectory directory;
        const std::string path = (directory / "reading.wav").string();
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            playThreeSecondsUnder(path, c.limit);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
        EXPECT_EQ(WEXITSTATUS(status), 0);

        const std::string bytes = test::readFile(path);
        ASSERT_GE(bytes.size(), 44u);
        EXPECT_EQ(u32At(bytes, 40), c.kept) << "the header's data size";
        EXPECT_EQ(bytes.size(), 44 + c.kept) << "what the file holds";
        EXPECT_EQ(u32At(bytes, 4), 36 + c.kept);
        bool same = true;
        for (size_t i = 0; i < (bytes.size() - 44) / 2 && same; ++i) {
            std::int16_t sample = 0;
            std::memcpy(&sample, bytes.data() + 44 + 2 * i, 2);
            same = sample == sampleAt(i);
        }
        EXPECT_TRUE(same) << "the sound kept is the sound played";
    }
}

} // namespace
} // namespace lorvantine
