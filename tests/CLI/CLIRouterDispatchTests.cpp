// The router's dispatchers: which arguments reach a runner, the usage lines of those that do not,
// and the statuses that come back.
#include "CLI/CLIRouter.h"

#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/DesktopTest.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <iostream>
#include <sstream>

namespace lorvantine {
namespace {

using CLIRouter::Arguments;
using ::testing::ElementsAre;
using ::testing::StartsWith;

struct RunnerCall {
    std::vector<std::string> paths;
    int status = 0;
    CLIRouter::ConfigRunner runner()
    {
        return [this](const std::string& path) {
            paths.push_back(path);
            return status;
        };
    }
};

const std::vector<std::string> matrixUsage { "用法: --probe-matrix <matrix-config.json>",
                                             "示例: --probe-matrix test-fixtures/probe-matrix.json" };
// The runner reads the program's log: the usage says where the program's standard error must go.
const std::vector<std::string> endToEndUsage { "用法: --probe-e2e <matrix-config.json> [--log <path>]",
                                               "示例: --probe-e2e test-fixtures/probe-matrix.json",
                                               "前置: Lorvantine 主程序必须在跑 — 另开终端运行 `scripts/build && build/lorvantine "
                                               "2>/tmp/lorvantine-selection-ocr.log`（标准错误写到 --log 的文件，默认 "
                                               "/tmp/lorvantine-selection-ocr.log）" };

TEST(CLIRouterDispatch, AMatrixConfigurationReachesItsRunnerOtherwiseTheUsageLinesAndStatusOne)
{
    using Dispatcher = int (*)(const Arguments&, const CLIRouter::ConfigRunner&);
    struct Flag {
        std::string flag;
        Dispatcher dispatch;
        const std::vector<std::string>& usage;
    };
    for (const Flag& f : { Flag { "--probe-matrix", CLIRouter::routeProbeMatrix, matrixUsage },
                           Flag { "--probe-e2e", CLIRouter::routeProbeE2E, endToEndUsage } }) {
        SCOPED_TRACE(f.flag);
        for (const Arguments& args : { Arguments { "x", f.flag }, Arguments { "x", f.flag, "--verbose" },
                                       Arguments { "x", "m.json", f.flag, "--", "m.json" } }) {
            RunnerCall run;
            Log::Capture log;
            EXPECT_EQ(f.dispatch(args, run.runner()), 1);
            EXPECT_TRUE(run.paths.empty());
            EXPECT_EQ(log.lines(), f.usage);
        }
        for (int status : { 0, 1, 2 }) {
            RunnerCall run { .status = status };
            Log::Capture log;
            EXPECT_EQ(f.dispatch({ "x", "--verbose", f.flag, "configs/matrix.json", f.flag, "other.json" }, run.runner()), status);
            EXPECT_THAT(run.paths, ElementsAre("configs/matrix.json"));
            EXPECT_TRUE(log.lines().empty());
        }
    }

    // The log named on the command line is the one the hint sends the program's standard error to.
    Log::Capture log;
    EXPECT_EQ(CLIRouter::routeProbeE2E({ "x", "--probe-e2e", "--log", "/var/tmp/l.log" }, RunnerCall().runner()), 1);
    EXPECT_THAT(log.lines().back(), ::testing::HasSubstr("`scripts/build && build/lorvantine 2>/var/tmp/l.log`"));
}

TEST(CLIRouterDispatch, AlignmentCasesAreVerboseWhenTheFlagIsAnywhereAndFailWhenACaseFails)
{
    struct Case {
        Arguments args;
        size_t failed;
        bool verbose;
        int status;
    };
    const Case cases[] = {
        { { "x", "--test-align-offline" }, 0, false, 0 },
        { { "x", "--test-align-offline", "--verbose" }, 0, true, 0 },
        { { "x", "--verbose", "--test-align-offline" }, 1, true, 1 },
        { { "x", "--test-align-offline", "--verbose=1" }, 3, false, 1 },
    };
    for (const Case& c : cases) {
        std::vector<bool> asked;
        const int status = CLIRouter::routeTestAlignOffline(c.args, [&](bool verbose) {
            asked.push_back(verbose);
            return c.failed;
        });
        EXPECT_EQ(status, c.status) << testing::PrintToString(c.args);
        EXPECT_THAT(asked, ElementsAre(c.verbose)) << testing::PrintToString(c.args);
    }
}

TEST(CLIRouterDispatch, ArticleDumpWritesItsReportOnStandardOutputAndEndsWithStatusZero)
{
    for (const char* fixture : { "wechat-article.json", "inspect-gallery.json" }) {
        auto desktop = SimDesktop::create(fixtureNamed(fixture));
        Platform::ScopedServices services(desktop->services());
        std::ostringstream out;
        Log::Capture log;
        std::streambuf* previous = std::cout.rdbuf(out.rdbuf());
        const int status = CLIRouter::route({ "lorvantine", "--article-dump" });
        std::cout.rdbuf(previous);
        EXPECT_EQ(status, 0) << fixture;
        EXPECT_EQ(log.lines().front(), "✅ 辅助功能权限已授权");
        EXPECT_THAT(out.str(), StartsWith(std::string(fixture) == "wechat-article.json" ? "=== WeChat 所有窗口 (2) ===\n"
                                                                                         : "[ArticleParser] ❌ 找不到公号文章窗口\n"));
    }
}

} // namespace
} // namespace lorvantine
