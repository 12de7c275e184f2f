#include "CLI/CLIRouter.h"

#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST(TestAlignOfflineCommand, RouterRunsEveryCaseAndListsPassesOnlyWhenVerbose)
{
    auto desktop = SimDesktop::demo();
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--test-align-offline" }), 0);
    EXPECT_EQ(log.lines().back(), "通过: 11/11");
    EXPECT_TRUE(log.linesContaining(": 匹配=").empty());
    EXPECT_TRUE(log.linesContaining("❌").empty());

    log.clear();
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--verbose", "--test-align-offline" }), 0);
    const std::vector<std::string> passes = log.linesContaining(": 匹配=");
    ASSERT_EQ(passes.size(), 11u);
    EXPECT_EQ(passes.front(), "✅ A_english_1to1_allvisible: 匹配=9 OCR=9 clip 词数=9");
    EXPECT_EQ(passes.back(), "✅ I_clip_extends_both_sides: 匹配=10 OCR=10 clip 词数=40");
    EXPECT_EQ(log.lines().back(), "通过: 11/11");
}

} // namespace
} // namespace lorvantine
