#include "CLI/CLIRouter.h"

#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using CLIRouter::Arguments;

class CLIRouterTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_desktop = SimDesktop::demo();
        m_services.emplace(m_desktop->services());
        for (const std::string& flag : CLIRouter::flagOrder())
            m_saved.emplace_back(flag, CLIRouter::setCommand(flag, nullptr));
    }
    void TearDown() override
    {
        for (auto& [flag, command] : m_saved)
            CLIRouter::setCommand(flag, command);
    }

    // Installs a command that records that it ran and answers `status`.
    void stub(const std::string& flag, int status)
    {
        CLIRouter::setCommand(flag, [this, flag, status](const Arguments&) {
            m_ran.push_back(flag);
            return status;
        });
    }

    std::shared_ptr<SimDesktop> m_desktop;
    std::optional<Platform::ScopedServices> m_services;
    std::vector<std::pair<std::string, CLIRouter::Command>> m_saved;
    std::vector<std::string> m_ran;
};

TEST_F(CLIRouterTest, FirstFlagOfTheTableWinsWhateverTheArgumentOrder)
{
    stub("--read-article", 0);
    stub("--inspect", 7);
    Log::Capture log;
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--read-article", "--inspect" }), 7);
    EXPECT_EQ(m_ran, std::vector<std::string> { "--inspect" });
    EXPECT_EQ(log.lines().front(), "✅ 辅助功能权限已授权");
}

TEST_F(CLIRouterTest, TableHoldsTheNineteenFlagsInOrder)
{
    const auto& flags = CLIRouter::flagOrder();
    ASSERT_EQ(flags.size(), 19u);
    EXPECT_EQ(flags.front(), "--inspect");
    EXPECT_EQ(flags[10], "--test-selection");
    EXPECT_EQ(flags[11], "--read-article");
    EXPECT_EQ(flags.back(), "--detect-source");
}

TEST_F(CLIRouterTest, NoKnownFlagPrintsThePermissionLineThenTheUsageAndFails)
{
    Log::Capture log;
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--app", "com.apple.Safari" }), 1);
    auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "✅ 辅助功能权限已授权");
    EXPECT_EQ(lines[1] + "\n", CLIRouter::usageText());
}

TEST_F(CLIRouterTest, UsageTextIsExact)
{
    const std::string& usage = CLIRouter::usageText();
    EXPECT_EQ(usage.size(), 724u);
    EXPECT_TRUE(usage.starts_with("Lorvantine Desktop CLI\n\nFlags:\n  --read-article [--app <bundleID>]   "));
    EXPECT_TRUE(usage.ends_with("  --validate-urls                     验证测试 URL 可访问性\n"));
}

TEST_F(CLIRouterTest, AFlagWhoseCommandIsNotBuiltAnswersAsAnUnknownFlag)
{
    Log::Capture log;
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-bounds" }), 1);
    EXPECT_EQ(log.lines().back() + "\n", CLIRouter::usageText());
}

TEST_F(CLIRouterTest, MissingAccessibilityPermissionStopsEveryCommand)
{
    stub("--inspect", 0);
    m_desktop->setTrusted(false);
    Log::Capture log;
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--inspect" }), 1);
    EXPECT_TRUE(m_ran.empty());
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "❌ 需要辅助功能权限！", "   请到 系统设置 → 隐私与安全性 → 辅助功能 中授权本应用" }));
}

TEST_F(CLIRouterTest, ValuesComeFromTheFirstOccurrence)
{
    Arguments args { "lorvantine", "--test-selection", "first", "--test-selection", "second" };
    EXPECT_EQ(CLIRouter::value(args, "--test-selection"), "first");
    EXPECT_EQ(CLIRouter::value({ "lorvantine", "--app" }, "--app"), std::nullopt);
    EXPECT_FALSE(CLIRouter::hasFlag({ "lorvantine", "--inspect=1" }, "--inspect"));
}

TEST_F(CLIRouterTest, PointsNeedExactlyTwoNumbers)
{
    auto point = [](const std::string& text) { return CLIRouter::parsePoint({ "x", "--start", text }, "--start"); };
    EXPECT_EQ(point("10,20"), (Point { 10, 20 }));
    EXPECT_EQ(point("10,abc,20.5"), (Point { 10, 20.5 }));
    EXPECT_EQ(point(",,-3,4,"), (Point { -3, 4 }));
    EXPECT_EQ(point("10"), std::nullopt);
    EXPECT_EQ(point("1,2,3"), std::nullopt);
    EXPECT_EQ(point("1, 2"), std::nullopt);
    EXPECT_EQ(CLIRouter::parsePoint({ "x", "--start" }, "--start"), std::nullopt);
    // Numbers of a point are finite.
    for (const char* text : { "inf,0", "0,INF", "nan,nan", "-infinity,2", "1e999,0" })
        EXPECT_EQ(point(text), std::nullopt) << text;
    EXPECT_EQ(point("1e308,-1e308"), (Point { 1e308, -1e308 }));
}

} // namespace
} // namespace lorvantine
