#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"
#include "EndToEnd/WavFile.h"

#include "Platform/Image.h"
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

// Ctrl+C, then a second request to end (Ctrl+C again, or a request to terminate) after the
// first was taken and before the process could have ended: both come while the process is held at
// its next line to standard error, as behind a suspended terminal, and each is taken before the
// next is sent, so that two presses are two and not one.
void endTwiceWhileHeld(ChildProcess& program, int second)
{
    ASSERT_TRUE(program.holdStandardError()) << program.standardError();
    ASSERT_TRUE(program.signalAndWaitTaken(SIGINT, 20s)) << program.standardError();
    ASSERT_TRUE(program.signalAndWaitTaken(second, 20s)) << program.standardError();
    program.releaseStandardError();
}

// The status a second request gives: the process leaves at once with the status a shell gives a
// program ended by that signal, never killed by it. Two different signals taken at once by two
// threads may reach the program in either order.
void expectLeftOnTheSecond(const std::optional<int>& status, int second, const std::string& log)
{
    ASSERT_TRUE(status) << "killed by the signal, or still running\n" << log;
    EXPECT_TRUE(*status == 128 + second || *status == 128 + SIGINT) << *status << "\n" << log;
}

// The sound written before the end is a whole WAV file that holds some of the reading.
void expectWholeSound(const std::filesystem::path& sound)
{
    const auto wav = WavFile::read(sound);
    ASSERT_TRUE(wav) << "the sound is a whole WAV file";
    EXPECT_GT(wav->duration(), 0.0);
}

// Under a file-size limit (`ulimit -f`) the sound file stops where it reached the limit, as on a
// full disk: the program says so and reads on, ends in order when asked, and leaves a whole WAV
// file whose header covers exactly the sound it holds.
TEST(ExitWhileReading, AFileSizeLimitStopsTheSoundFileAndNotTheReading)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    ScratchDirectory directory;
    const auto fixture = directory / "article.json";
    writeFile(fixture, longArticle(1000).dump());
    const auto settings = directory / "settings.json";
    writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() } }.dump());
    const auto sound = directory / "reading.wav";
    // 40 blocks of the shell's (512 or 1,024 bytes): less than the first second of sound.
    ChildProcess program({ .program = "/bin/sh",
                           .arguments = { "-c", "ulimit -f 40 && exec \"$0\" \"$@\"", lorvantineProgram.string(),
                                          "--read-article", "--app", "com.apple.Safari" },
                           .environment = { { "LORVANTINE_DESKTOP", fixture.string() },
                                            { "LORVANTINE_AUDIO_OUT", sound.string() },
                                            { "LORVANTINE_DEFAULTS", settings.string() } },
                           .directory = directory.path(),
                           .standardErrorHoldable = true });
    const std::string failed = "[Audio] cannot write " + sound.string() + ": File too large; later sound is not recorded";
    ASSERT_TRUE(program.waitForError(failed, 240s)) << program.standardError();
    // The paragraph after the one playing when the file stopped is heard too.
    const std::string played = "[Audio] play para=";
    const std::string before = program.standardError();
    const size_t last = before.rfind(played);
    ASSERT_NE(last, std::string::npos) << before;
    const int playing = std::stoi(before.substr(last + played.size()));
    ASSERT_TRUE(program.waitForError(played + std::to_string(playing + 1), 240s)) << program.standardError();
    program.signal(SIGINT);
    const auto status = program.wait(60s);
    const std::string log = program.standardError();
    EXPECT_EQ(status, 0) << "killed by the limit's signal, or still running\n" << log.substr(log.size() > 4000 ? log.size() - 4000 : 0);
    EXPECT_EQ(log.find(failed), log.rfind(failed)) << "said once";

    expectWholeSound(sound);
    const auto wav = WavFile::read(sound);
    ASSERT_TRUE(wav);
    EXPECT_EQ(std::filesystem::file_size(sound), 44 + wav->samples.size() * 2) << "the header covers exactly what the file holds";
}

const char* secondName(int second) { return second == SIGINT ? "Ctrl+C twice" : "Ctrl+C, then a request to terminate"; }

// The same from the terminal: a second request while a reading ends is the end's, which does not
// wait for the teardown; "[退出]" is said once, and the sound written so far is a whole WAV file.
TEST(ExitWhileReading, ASecondRequestWhileAReadingFromTheTerminalEndsLeavesAtOnceWithItsSoundWhole)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    for (const int second : { SIGINT, SIGTERM }) {
        SCOPED_TRACE(secondName(second));
        ScratchDirectory directory;
        const auto fixture = directory / "article.json";
        writeFile(fixture, longArticle(10000).dump());
        const auto settings = directory / "settings.json";
        writeFile(settings, nlohmann::json { { "Lorvantine.ttsServerURL", server.baseURL() } }.dump());
        const auto sound = directory / "reading.wav";
        ChildProcess program({ .program = lorvantineProgram,
                               .arguments = { "--read-article", "--app", "com.apple.Safari" },
                               .environment = { { "LORVANTINE_DESKTOP", fixture.string() },
                                                { "LORVANTINE_AUDIO_OUT", sound.string() },
                                                { "LORVANTINE_DEFAULTS", settings.string() } },
                               .directory = directory.path(),
                               .standardErrorHoldable = true });
        // Once the second paragraph plays, the first one's sound is in the file.
        ASSERT_TRUE(program.waitForError("[Audio] play para=1", 240s)) << program.standardError();
        endTwiceWhileHeld(program, second);
        const auto status = program.wait(20s);
        expectLeftOnTheSecond(status, second, program.standardError());
        const std::string log = program.standardError();
        EXPECT_NE(log.find("[退出]"), std::string::npos) << log;
        EXPECT_EQ(log.find("[退出]"), log.rfind("[退出]")) << "said once\n" << log;
        expectWholeSound(sound);
    }
}

// A person presses Ctrl+C again while the application is still ending a long reading it was asked
// for by the hotkey, or a request to terminate follows the press: the process leaves at once, but
// never by the signal itself, and what it leaves behind is in order: no control pipe, and the
// sound, the pictures and the settings it wrote are whole files.
TEST(ExitWhileReading, ASecondRequestWhileTheApplicationEndsLeavesAtOnceWithItsPipeGoneAndItsFilesWhole)
{
    SpeechServerProcess server;
    ASSERT_TRUE(server.isRunning());
    for (const int second : { SIGINT, SIGTERM }) {
        SCOPED_TRACE(secondName(second));
        ScratchDirectory directory;
        const auto fixture = directory / "article.json";
        writeFile(fixture, longArticle(10000).dump());
        const auto settings = directory / "settings.json";
        const auto sound = directory / "reading.wav";
        const auto pictures = directory / "pictures";
        auto environment = applicationEnvironment(settings, { { "Lorvantine.ttsServerURL", server.baseURL() },
                                                              { "Lorvantine.hasCompletedOnboarding", true } });
        environment["LORVANTINE_DESKTOP"] = fixture.string();
        environment["LORVANTINE_AUDIO_OUT"] = sound.string();
        environment["LORVANTINE_SNAPSHOT_DIR"] = pictures.string();
        ControlledApplication app(directory.path(), {}, environment, true);
        ASSERT_TRUE(app.ready()) << app.process().standardError();
        // The pipe is there before the hotkey is: a press that comes first is nobody's.
        ASSERT_TRUE(app.process().waitForError("[Hotkey] Ctrl+Shift+R 已注册", 20s)) << app.process().standardError();

        EXPECT_EQ(app.command("key r control shift"), "ok");
        ASSERT_TRUE(app.process().waitForError("[Snapshot] para[0]", 240s)) << app.process().standardError();
        ASSERT_TRUE(app.process().waitForError("[Audio] play para=1", 240s)) << app.process().standardError();
        endTwiceWhileHeld(app.process(), second);
        const auto status = app.process().wait(20s);
        expectLeftOnTheSecond(status, second, app.process().standardError());
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(app.pipe())));

        expectWholeSound(sound);
        size_t taken = 0;
        for (const auto& entry : std::filesystem::directory_iterator(pictures)) {
            EXPECT_TRUE(Image::loadPNG(entry.path().string())) << entry.path();
            ++taken;
        }
        EXPECT_GE(taken, 1u);
        for (const auto& place : { directory.path(), pictures })
            for (const auto& entry : std::filesystem::directory_iterator(place))
                EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << "a file left half written: " << entry.path();
        // Written at launch, replaced whole.
        const auto stored = nlohmann::json::parse(readFile(settings), nullptr, false);
        EXPECT_TRUE(stored.is_object()) << readFile(settings);
    }
}

} // namespace
} // namespace lorvantine::test
