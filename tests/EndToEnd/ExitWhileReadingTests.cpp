#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/LongArticle.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <csignal>
#include <string>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// When the signal comes: as soon as the command says Ctrl+C ends it, or just after playback has
// begun, while the scroll steps and the word measurements of the first paragraph are in flight.
enum class Moment { announced, playing };

// Reads the article aloud with --read-article and sends `signal` at `moment`.
std::optional<int> interruptedReading(int paragraphs, int signal, Moment moment, std::string& log)
{
    SpeechServerProcess server;
    ScratchDirectory directory;
    const auto fixture = directory / "article.json";
    writeFile(fixture, longArticle(paragraphs).dump());
    const auto settings = directory / "settings.json";
    writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() } }.dump());
    ChildProcess program({ .program = lorvantineProgram,
                           .arguments = { "--read-article", "--app", "com.apple.Safari" },
                           .environment = { { "LORVANTINE_DESKTOP", fixture.string() },
                                            { "LORVANTINE_AUDIO_OUT", "null" },
                                            { "LORVANTINE_DEFAULTS", settings.string() } },
                           .directory = directory.path() });
    // Finding a hundred thousand paragraphs takes its time, the more so in the sanitizer build.
    const bool reached = moment == Moment::announced ? program.waitForOutput("按 Ctrl+C 停止", 240s)
                                                     : program.waitForError("[Audio] play para=0", 240s);
    if (!reached) {
        log = "the moment never came:\n" + program.standardError().substr(0, 4000);
        return std::nullopt;
    }
    program.signal(signal);
    const auto status = program.wait(60s);
    const std::string err = program.standardError();
    log = err.size() > 4000 ? err.substr(err.size() - 4000) : err;
    return status;
}

// Every way out of a reading stops the work in flight before the process ends: nothing the
// background work still uses is destroyed under it.
TEST(ExitWhileReading, CtrlCJustAfterPlaybackBeginsEndsALongReadingWithStatusZero)
{
    for (const int paragraphs : { 1000, 100000 }) {
        std::string log;
        EXPECT_EQ(interruptedReading(paragraphs, SIGINT, Moment::playing, log), 0) << paragraphs << " paragraphs\n" << log;
        EXPECT_EQ(log.find("AddressSanitizer"), std::string::npos) << log;
        EXPECT_NE(log.find("[退出]"), std::string::npos) << log;
    }
}

TEST(ExitWhileReading, ARequestToTerminateEndsAReadingAsCtrlCDoes)
{
    std::string log;
    EXPECT_EQ(interruptedReading(1000, SIGTERM, Moment::playing, log), 0) << log;
    EXPECT_NE(log.find("[退出]"), std::string::npos) << log;
}

// The command says Ctrl+C ends it before it starts the reading: a press right then is not lost.
TEST(ExitWhileReading, CtrlCAsSoonAsTheCommandSaysSoEndsItInOrder)
{
    std::string log;
    EXPECT_EQ(interruptedReading(100000, SIGINT, Moment::announced, log), 0) << log;
    EXPECT_NE(log.find("[退出]"), std::string::npos) << log;
}

} // namespace
} // namespace lorvantine::test
