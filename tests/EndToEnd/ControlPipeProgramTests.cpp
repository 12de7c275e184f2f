#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <csignal>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// A person's `kill` (SIGTERM) ends the application as "quit" does: the control pipe it made in a
// private directory of its own goes, and the directory with it.
TEST(ControlPipeProgram, SigtermEndsTheRunAndTakesThePipeAndItsDirectoryAway)
{
    ScratchDirectory directory;
    auto environment = applicationEnvironment(directory / "defaults.json", nlohmann::json::object());
    environment["LORVANTINE_CONTROL_PIPE"] = "auto";
    environment["XDG_RUNTIME_DIR"] = std::nullopt;
    environment["TMPDIR"] = directory.path().string();
    ChildProcess program({ .program = lorvantineProgram, .environment = environment, .directory = directory.path() });
    const std::string said = "[Control] 📮 pipe: ";
    ASSERT_TRUE(program.waitForError("/control\n", 10s)) << program.standardError();
    const std::string log = program.standardError();
    const size_t at = log.find(said);
    ASSERT_NE(at, std::string::npos) << log;
    const std::filesystem::path pipe = log.substr(at + said.size(), log.find('\n', at) - at - said.size());
    ASSERT_TRUE(std::filesystem::is_fifo(pipe)) << pipe;
    ASSERT_EQ(pipe.parent_path().parent_path(), directory.path()) << "a new private directory under TMPDIR";

    program.signal(SIGTERM);
    EXPECT_EQ(program.wait(10s), 0) << program.standardError();
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::symlink_status(pipe)));
    EXPECT_FALSE(std::filesystem::exists(pipe.parent_path()));
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
