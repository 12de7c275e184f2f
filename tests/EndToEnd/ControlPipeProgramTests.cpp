#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"
#include "EndToEnd/ControlledApplication.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace lorvantine::test
