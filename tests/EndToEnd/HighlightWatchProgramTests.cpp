#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <csignal>
#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

TEST(HighlightWatchProgram, CtrlCEndsWatchModeWithStatusZero)
{
    ScratchDirectory directory;
    ChildProcess child({ .program = lorvantineProgram,
                         .arguments = { "--test-highlight", "--watch", "--app", "com.apple.Safari", "--append", "watch.jsonl" },
                         .environment = { { "LORVANTINE_DESKTOP", (testFixtures / "highlight-harness-desktop.json").string() } },
                         .directory = directory.path(),
                         .workingDirectory = directory.path() });
    ASSERT_TRUE(child.waitForError("   按 Ctrl+C 退出\n", 20s)) << child.standardError();
    child.signal(SIGINT);
    EXPECT_EQ(child.wait(20s), 0) << child.standardError();
    EXPECT_NE(child.standardError().find("\n[退出监测]\n"), std::string::npos) << child.standardError();
}

} // namespace
} // namespace lorvantine::test
