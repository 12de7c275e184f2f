#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// A copy of the launcher in `directory`, which is where it looks for the program proper.
std::filesystem::path launcherIn(const ScratchDirectory& directory)
{
    const auto launcher = directory / "lorvantine";
    std::filesystem::copy_file(lorvantineProgram, launcher);
    return launcher;
}

// The launcher is started with nothing blocked, as a shell starts it; what it starts in its place
// sends itself Ctrl+C, SIGTERM and SIGHUP first thing, as a person or a script may before the
// program proper has loaded. Each waits, pending, for the program to take it: none ends it.
TEST(Launcher, HoldsBackTheSignalsThatEndARunForTheProgramItStarts)
{
    ScratchDirectory directory;
    const auto launcher = launcherIn(directory);
    std::filesystem::create_symlink(launcherSignalProbe, directory / "lorvantine-main");
    ChildProcess program({ .program = launcher, .directory = directory.path() });
    EXPECT_EQ(program.wait(20s), 0) << "ended by a signal it let through\n" << program.standardError();
    EXPECT_EQ(program.standardOutput(), "SIGINT held\nSIGTERM held\nSIGHUP held\n");
}

// Copied on its own, the launcher says what is missing and where it looked, and ends as a shell
// does when a command cannot be run.
TEST(Launcher, SaysWhatIsMissingAndWhereItLookedWhenTheProgramIsNotBesideIt)
{
    ScratchDirectory directory;
    const auto launcher = launcherIn(directory);
    ChildProcess program({ .program = launcher, .directory = directory.path() });
    EXPECT_EQ(program.wait(20s), 127);
    EXPECT_EQ(program.standardError(), "lorvantine: the program proper, lorvantine-main, is missing: it was looked for beside this launcher, as "
                                           + (directory / "lorvantine-main").string()
                                           + " (No such file or directory); copy both programs together, or link to the launcher where it was built\n");
}

} // namespace
} // namespace lorvantine::test
