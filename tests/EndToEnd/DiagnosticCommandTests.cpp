#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;

// The diagnostics as a user runs them: the account on standard error, only the detected source's
// report on standard output, and the status as the process's exit status.
TEST(DiagnosticCommands, DetectSourceKeepsItsReportAloneOnStandardOutputAndExitsWithItsStatus)
{
    ScratchDirectory directory;
    const std::string fixture = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/kindle-book.json";
    auto runProgram = [&](std::vector<std::string> arguments) {
        ChildProcess child({ .program = lorvantineProgram,
                             .arguments = std::move(arguments),
                             .environment = { { "LORVANTINE_DESKTOP", fixture } },
                             .directory = directory.path() });
        auto status = child.wait(30s);
        return std::tuple { status, child.standardOutput(), child.standardError() };
    };

    auto [found, out, err] = runProgram({ "--detect-source", "--app", "com.amazon.Lassen" });
    EXPECT_EQ(found, 0);
    EXPECT_EQ(out.rfind("✅ detect 命中: KindleSession  耗时 ", 0), 0u) << out;
    EXPECT_NE(out.find("\n   title: The Lighthouse Keeper\n   paragraphs: 1\n   [0] \"The keeper climbed"), std::string::npos) << out;
    EXPECT_EQ(out.find("🎯"), std::string::npos);
    EXPECT_EQ(err.rfind("✅ 辅助功能权限已授权\n🎯 detecting com.amazon.Lassen pid=620\n", 0), 0u) << err;

    auto [missed, missedOut, missedErr] = runProgram({ "--detect-source", "--app", "com.apple.finder" });
    EXPECT_EQ(missed, 1);
    EXPECT_EQ(missedOut, "");
    EXPECT_NE(missedErr.find("❌ DocumentSourceRegistry.detect(com.apple.finder) 返回 nil — 该 App 未命中任何 Source\n   候选来源："),
              std::string::npos);
}

} // namespace
} // namespace lorvantine::test
