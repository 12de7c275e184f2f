#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <regex>

namespace lorvantine::test {
namespace {

using namespace std::chrono_literals;


struct MatrixRun {
    std::optional<int> status;
    std::string err;
};

// Runs "--probe-matrix" on the matrix desktop in `directory`, with relative fixture paths. Each
// application costs its real sleeps, some seconds.
MatrixRun runMatrix(const ScratchDirectory& directory, const std::string& apps)
{
    std::filesystem::copy_file(testFixtures / "probe-matrix-fixture.txt", directory / "fixture.txt");
    writeFile(directory / "matrix.json", "{\"apps\": [" + apps + "]}");
    ChildProcess child({ .program = lorvantineProgram,
                         .arguments = { "--probe-matrix", "matrix.json" },
                         .environment = { { "LORVANTINE_DESKTOP", (testFixtures / "probe-matrix-desktop.json").string() } },
                         .directory = directory.path(),
                         .workingDirectory = directory.path() });
    MatrixRun run;
    run.status = child.wait(60s);
    run.err = child.standardError();
    return run;
}

// The report with the moment it was written replaced by the golden files' one.
std::string atGoldenTime(std::string text)
{
    text = std::regex_replace(text, std::regex("(\"capturedAt\" : \")[^\"]*"), "$012026-12-07T09:00:00Z");
    return std::regex_replace(text, std::regex("Generated: [^\n]*"), "Generated: 2026-12-07T09:00:00Z");
}

TEST(ProbeMatrixProgram, TheBaselineEditorPassesAndWritesTheGoldenReportsBesideItsConfiguration)
{
    ScratchDirectory directory;
    MatrixRun run = runMatrix(directory, R"({"bundleID": "com.example.PlainEdit", "name": "PlainEdit", "fixture": "fixture.txt", "isBaseline": true})");
    EXPECT_EQ(run.status, 0) << run.err;
    for (const char* name : { "probe-report.json", "probe-baseline.json", "probe-report.md" })
        EXPECT_EQ(atGoldenTime(readFile(directory / name)), readFile(testFixtures / "probe-matrix-golden" / name)) << name;
    EXPECT_NE(run.err.find("📄 Markdown: " + (directory / "probe-report.md").string()), std::string::npos) << run.err;
}

TEST(ProbeMatrixProgram, AFailingApplicationAndAMissingFixtureFailTheRunWhileTheOthersAreProbed)
{
    ScratchDirectory directory;
    MatrixRun run = runMatrix(directory, R"({"bundleID": "com.example.Gone", "name": "Gone", "fixture": "gone.txt"},
        {"bundleID": "com.apple.Notes", "name": "Notes", "fixture": "fixture.txt", "setup": "paste-new-window",
         "cleanup": "delete-notes-with-marker", "keepAlive": false})");
    EXPECT_EQ(run.status, 1) << run.err;
    EXPECT_NE(run.err.find("  ❌ fixture 不存在: " + (directory / "gone.txt").string()), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("  ❌ long_cjk: FAIL [首字符 rect 无效 (0×0)"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("📊 Total 7: ✅ 5 PASS  ⚠️  1 PARTIAL  ❌ 1 FAIL"), std::string::npos) << run.err;
    const std::string json = readFile(directory / "probe-report.json");
    EXPECT_EQ(json.find("Gone"), std::string::npos);
    EXPECT_NE(json.find("\"appName\" : \"Notes\""), std::string::npos);
}

} // namespace
} // namespace lorvantine::test
