#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <string>
#include <thread>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

const char* signalName(int number)
{
    switch (number) {
    case SIGINT:
        return "SIGINT";
    case SIGTERM:
        return "SIGTERM";
    case SIGHUP:
        return "SIGHUP";
    }
    return "another signal";
}

// The program in application mode with its control pipe in the private place ("auto"): a new
// directory under `directory`, which stands for the temporary directory.
ChildProcess::Options autoPipeRun(const ScratchDirectory& directory, std::vector<int> blockedSignals = {})
{
    auto environment = applicationEnvironment(directory / "defaults.json", nlohmann::json::object());
    environment["LORVANTINE_CONTROL_PIPE"] = "auto";
    environment["XDG_RUNTIME_DIR"] = std::nullopt;
    environment["TMPDIR"] = directory.path().string();
    return { .program = lorvantineProgram, .environment = environment, .directory = directory.path(), .blockedSignals = blockedSignals };
}

// The directories the program made under the temporary directory for its pipe.
std::vector<std::filesystem::path> pipeDirectories(const ScratchDirectory& directory)
{
    std::vector<std::filesystem::path> made;
    for (const auto& entry : std::filesystem::directory_iterator(directory.path()))
        if (entry.path().filename().string().starts_with("lorvantine-"))
            made.push_back(entry.path());
    return made;
}

// A person's `kill` (SIGTERM), a closed terminal (SIGHUP) and Ctrl+C end the application as
// "quit" does: the control pipe it made in a private directory of its own goes, and the
// directory with it.
TEST(ControlPipeProgram, SigtermSighupAndCtrlCEndTheRunAndTakeThePipeAndItsDirectoryAway)
{
    for (const int signal : { SIGTERM, SIGHUP, SIGINT }) {
        ScratchDirectory directory;
        ChildProcess program(autoPipeRun(directory));
        const std::string said = "[Control] 📮 pipe: ";
        ASSERT_TRUE(program.waitForError("/control\n", 10s)) << program.standardError();
        const std::string log = program.standardError();
        const size_t at = log.find(said);
        ASSERT_NE(at, std::string::npos) << log;
        const std::filesystem::path pipe = log.substr(at + said.size(), log.find('\n', at) - at - said.size());
        ASSERT_TRUE(std::filesystem::is_fifo(pipe)) << pipe;
        ASSERT_EQ(pipe.parent_path().parent_path(), directory.path()) << "a new private directory under TMPDIR";

        program.signal(signal);
        EXPECT_EQ(program.wait(10s), 0) << signalName(signal) << "\n" << program.standardError();
        EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(pipe))) << signalName(signal);
        EXPECT_FALSE(std::filesystem::exists(pipe.parent_path())) << signalName(signal);
    }
}

// A signal that comes before the program has set anything up (here one already waiting when it
// starts, as a launcher that blocked it leaves it) is not lost and does not kill it half made: the
// run ends as soon as it begins, in order, and leaves no pipe behind.
TEST(ControlPipeProgram, ASignalThatComesBeforeAnythingIsSetUpEndsTheRunInOrder)
{
    for (const int signal : { SIGINT, SIGTERM, SIGHUP }) {
        ScratchDirectory directory;
        ChildProcess program(autoPipeRun(directory, { signal }));
        program.signal(signal);
        EXPECT_EQ(program.wait(20s), 0) << signalName(signal) << "\n" << program.standardError();
        EXPECT_NE(program.standardError().find("[Control] 📮 pipe: "), std::string::npos) << "the run began";
        EXPECT_TRUE(pipeDirectories(directory).empty()) << signalName(signal) << "\n" << program.standardError();
    }
}

// Writes `bytes` through `fd` and waits until the program has read them all from its pipe.
bool writeAndWaitRead(int fd, const std::string& bytes)
{
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        return false;
    int unread = 1;
    for (const auto limit = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < limit;
         std::this_thread::sleep_for(1ms))
        if (::ioctl(fd, FIONREAD, &unread) == 0 && unread == 0)
            return true;
    return false;
}

// A controller writes as soon as the pipe is there, before the program is ready: the program is
// held at its next line to standard error, right after making the pipe and before anything else,
// while Control+Shift+R and then `windows` are read from the pipe (the second read only once the
// first line has been handed on). Let go, the program starts, and only then carries them out: the
// hotkey is there to be pressed and reads the front window.
TEST(ControlPipeProgram, ALineSentBeforeTheProgramIsReadyWaitsForItAndIsCarriedOut)
{
    ScratchDirectory directory;
    auto environment = applicationEnvironment(directory / "defaults.json", { { "Lorvantine.hasCompletedOnboarding", true },
                                                                              { "Lorvantine.ttsServerURL", "http://127.0.0.1:9" } });
    const auto pipe = directory / "control";
    environment["LORVANTINE_CONTROL_PIPE"] = pipe.string();
    ChildProcess program(
        { .program = lorvantineProgram, .environment = environment, .directory = directory.path(), .standardErrorHeldAtStart = true });
    for (const auto limit = std::chrono::steady_clock::now() + 20s; !std::filesystem::is_fifo(pipe) && std::chrono::steady_clock::now() < limit;)
        std::this_thread::sleep_for(10ms);
    const int writer = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(writer, 0) << "no pipe";
    EXPECT_TRUE(writeAndWaitRead(writer, "key r control shift\n"));
    EXPECT_TRUE(writeAndWaitRead(writer, "windows\n"));
    program.releaseStandardError();

    EXPECT_TRUE(program.waitForOutput("ok [", 20s)) << program.standardError();
    EXPECT_TRUE(program.standardOutput().starts_with("ok\nok [")) << program.standardOutput();
    EXPECT_TRUE(program.waitForError("[StatusBar] 开始朗读: Slow Reading in a Fast World", 20s))
        << "the key came before the hotkey\n" << program.standardError();
    EXPECT_EQ(::write(writer, "quit\n", 5), 5);
    ::close(writer);
    EXPECT_EQ(program.wait(20s), 0) << program.standardError();
}

// A desktop with many windows open: each answer to "windows" is larger than a pipe takes in one
// piece, so a writer held by a reader that does not read has filled the pipe to the brim.
nlohmann::json manyWindowsDesktop()
{
    nlohmann::json windows = nlohmann::json::array();
    for (int i = 0; i < 48; ++i)
        windows.push_back({ { "number", 9300 + i },
                            { "title", "Chapter " + std::to_string(i + 1) + " — The River at Morning, and What the Ferryman Saw" },
                            { "frame", { 40 + 10 * i, 40 + 8 * i, 900, 700 } } });
    return { { "applications", { { { "pid", 521 }, { "bundleID", "com.apple.Safari" }, { "name", "Safari" }, { "active", true },
                                   { "windows", windows } } } } };
}

// A controller that sends 2,000 "windows" and never reads the answers: the program holds back
// its lines but not itself, and Ctrl+C still ends it in order, the pipe removed.
TEST(ControlPipeProgram, AControllerThatStopsReadingTheAnswersDoesNotHoldCtrlC)
{
    ScratchDirectory directory;
    const auto desktop = directory / "desktop.json";
    writeFile(desktop, manyWindowsDesktop().dump());
    auto environment = applicationEnvironment(directory / "defaults.json", { { "Lorvantine.hasCompletedOnboarding", true } });
    environment["LORVANTINE_DESKTOP"] = desktop.string();
    const auto pipe = directory / "control";
    environment["LORVANTINE_CONTROL_PIPE"] = pipe.string();
    ChildProcess program({ .program = lorvantineProgram,
                           .environment = environment,
                           .directory = directory.path(),
                           .standardOutputUnread = true,
                           .outputPipeBytes = 4096 });
    ASSERT_TRUE(program.waitForError("[Control] 📮 pipe: ", 10s)) << program.standardError();

    std::string lines;
    for (int i = 0; i < 2000; ++i)
        lines += "windows\n";
    const int fd = ::open(pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::write(fd, lines.data(), lines.size()), static_cast<ssize_t>(lines.size()));
    ::close(fd);
    ASSERT_TRUE(program.waitForFullOutputPipe(30s)) << "the answers wait for the controller\n" << program.standardError();

    program.signal(SIGINT);
    EXPECT_EQ(program.wait(20s), 0) << program.standardError();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(pipe)));
}

} // namespace
} // namespace lorvantine::test
