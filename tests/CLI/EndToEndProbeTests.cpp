// "--probe-e2e" against a fake program in this process: the steps, the report, the panels it
// must not mistake for the ones a selection brings, the log's word that speech started, and the
// exit statuses.
#include "CLI/EndToEndProbeTest.h"

#include "Support/Files.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace lorvantine {
namespace {

const std::string goldenReport = std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/probe-e2e-report.md";

TEST_F(EndToEndProbeTest, AGoodEditorPassesEveryStepAMissingFixtureOnlyLaunchAndTheReportMatchesTheGoldenFile)
{
    const int status = probe({ endToEndApp("com.example.PlainEdit", "PlainEdit"),
                               endToEndApp("com.example.PlainEdit", "Ghost", (scratch / "absent.txt").string()) });

    EXPECT_EQ(status, 1); // Ghost failed its launch
    EXPECT_EQ(report(), test::readFile(goldenReport));
    EXPECT_EQ(program->bubbleClicks, 1);
    EXPECT_EQ(program->readingsClosed, 1);
    EXPECT_TRUE(log.contains("✅ Lorvantine pid=" + std::to_string(pid()) + " name=Lorvantine"));
    EXPECT_TRUE(log.contains("🔬 End-to-End Probe — 2 个 App（每 App 只跑 single_line 场景）"));
    EXPECT_TRUE(log.contains("  🛑 MiniPlayer close pressed: ok"));
    EXPECT_TRUE(log.contains("\n  E2E PlainEdit: ✅ PASS"));
    EXPECT_TRUE(log.contains("    ✗ launch — fixture 不存在"));
    EXPECT_TRUE(log.contains("\n📄 E2E Report: " + (scratch / "probe-e2e-report.md").string()));
    EXPECT_TRUE(log.contains("📊 Total 2: ✅ 1 PASS  ❌ 1 FAIL"));
    EXPECT_EQ(test::readFile(scratch / "lorvantine-e2e-com_example_PlainEdit-1796634000.txt"), test::readFile(endToEndFixturePath));
    // Nothing of the reading is left on screen.
    EXPECT_EQ(programWindows().size(), 0u);
}

TEST_F(EndToEndProbeTest, ReadButtonsAndAStaleBubbleAreNotTakenForTheBubbleTheSelectionBrings)
{
    program->showReadButton({ 1300, 120 });
    program->showStaleBubble({ 1300, 400 });
    program->showsReadButtonOnSelection = true;

    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit") }), 0);
    EXPECT_EQ(row("PlainEdit"), "| PlainEdit | ✓ | ✓ | ✓ | ✓ | ✓ | ✓ | ✓ | ✅ PASS |");
    EXPECT_EQ(program->bubbleClicks, 1);
    EXPECT_EQ(program->otherPanelClicks, 0);
}

TEST_F(EndToEndProbeTest, ASelectionThatNeverHappensFailsTheBubbleAndLeavesNoReadingToClose)
{
    program->showStaleBubble({ 1300, 400 });

    EXPECT_EQ(probe({ endToEndApp("com.example.StillEdit", "StillEdit") }), 1);
    EXPECT_EQ(row("StillEdit"), "| StillEdit | ✓ | ✓ | ✓ | ✓ | ✗ | — | — | ❌ FAIL |");
    EXPECT_TRUE(log.contains("    ✗ bubble_shown — 3s 内未扫到 ≈40×40 panel"));
    EXPECT_EQ(program->otherPanelClicks, 0);
    EXPECT_FALSE(log.contains("MiniPlayer"));
}

TEST_F(EndToEndProbeTest, AnOverlayThatWasThereBeforeThePressIsNotTheReadingsOverlay)
{
    program->showStrayOverlay();
    program->showsOverlay = false;

    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit") }), 1);
    EXPECT_EQ(row("PlainEdit"), "| PlainEdit | ✓ | ✓ | ✓ | ✓ | ✓ | ✓ | ✗ | ❌ FAIL |");
    EXPECT_TRUE(log.contains("    ✗ overlay_shown — 10s 内未扫到全屏 panel（TTS 失败或超时）"));
    EXPECT_EQ(program->readingsClosed, 1); // closed all the same
}

TEST_F(EndToEndProbeTest, AnOverlayWithoutTheFirstSegmentsAudioLineAfterThePressFails)
{
    // A line from an earlier reading, before the press, does not count.
    ASSERT_TRUE(Files::appendLine(logPath, "[Audio] play para=3 off=0 bytes=4096 dur=1.20s ok=true"));
    program->writesAudioLine = false;

    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit") }), 1);
    EXPECT_EQ(row("PlainEdit"), "| PlainEdit | ✓ | ✓ | ✓ | ✓ | ✓ | ✓ | ✗ | ❌ FAIL |");
    EXPECT_TRUE(log.contains("    ✗ overlay_shown — overlay 已出现，但 10s 内 " + logPath
                             + " 未见 [Audio] play para=… ok=true（语音未开始）"));
    EXPECT_EQ(program->readingsClosed, 1);
}

TEST_F(EndToEndProbeTest, AWrappedSelectionWidensTheWindowAndIsDraggedAlongItsFirstLineWhenItStillWraps)
{
    EXPECT_EQ(probe({ endToEndApp("com.example.NarrowEdit", "NarrowEdit") }), 0);
    EXPECT_TRUE(log.contains("  📐 resized com.example.NarrowEdit window → 900×400"));
    EXPECT_TRUE(log.contains("  📍 moved com.example.NarrowEdit window → (100,100)"));
    const auto drags = log.linesContaining("  🖱  drag ");
    ASSERT_EQ(drags.size(), 1u);
    EXPECT_TRUE(drags.front().ends_with(" (cross-line)")) << drags.front();
    EXPECT_EQ(program->bubbleClicks, 1);
}

TEST_F(EndToEndProbeTest, SetupErrorsEndWithTwoBeforeAnyApplicationAndMissingTrustWithTheRoutersOne)
{
    const std::string matrix = (scratch / "matrix.json").string();
    struct Case {
        const char* what;
        std::optional<std::string> config; // none: no file
        std::string line;
    };
    for (const Case& c : { Case { "unreadable", std::nullopt, "❌ 无法读取 matrix: " + matrix },
                           Case { "not JSON", "{\"apps\": [", "❌ 无法解析 matrix JSON: " + matrix },
                           Case { "not a matrix", "{\"apps\": [{\"bundleID\": 1}]}", "❌ 无法解析 matrix JSON: " + matrix } }) {
        std::filesystem::remove(matrix);
        if (c.config)
            test::writeFile(matrix, *c.config);
        log.clear();
        EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-e2e", matrix }), 2) << c.what;
        EXPECT_TRUE(log.contains(c.line)) << c.what;
    }
    EXPECT_FALSE(std::filesystem::exists(scratch / "probe-e2e-report.md"));

    // An empty matrix is no failure: a report without rows.
    EXPECT_EQ(probe({}), 0);
    EXPECT_TRUE(report().find("|-----|--------|----------|-----------|-----|--------|-------|---------|---------|\n\n## Failure Details\n\n\n## Legend\n")
                != std::string::npos);
    EXPECT_TRUE(log.contains("📊 Total 0: ✅ 0 PASS  ❌ 0 FAIL"));

    // The router asks for trust first and ends with its own status.
    desktop->setTrusted(false);
    log.clear();
    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit") }), 1);
    EXPECT_EQ(log.lines().front(), "❌ 需要辅助功能权限！");
    EXPECT_FALSE(log.contains("Lorvantine pid="));
}

TEST_F(EndToEndProbeTest, ALogThatIsMissingOrDoesNotGrowIsASetupError)
{
    std::filesystem::remove(logPath);
    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit") }), 2);
    EXPECT_TRUE(log.contains("❌ 日志 " + logPath + " 不存在"));
    EXPECT_TRUE(log.contains("   主程序的标准错误须写到这里: scripts/build && build/lorvantine 2>" + logPath));
    EXPECT_EQ(program->bubbleClicks, 0);

    // The program writes its standard error elsewhere: after its bubble's click the log is as it
    // was. The reading is closed all the same, and the run ends there.
    test::writeFile(logPath, "");
    program->writesLog = false;
    log.clear();
    EXPECT_EQ(probe({ endToEndApp("com.example.PlainEdit", "PlainEdit"), endToEndApp("com.example.PlainEdit", "Again") }), 2);
    EXPECT_TRUE(log.contains("❌ 日志 " + logPath + " 在主程序响应点击后没有增长 — 它不是主程序的标准错误"));
    EXPECT_FALSE(log.contains("E2E PlainEdit: "));
    EXPECT_FALSE(log.contains("🎯 Again"));
    EXPECT_EQ(program->bubbleClicks, 1);
    EXPECT_EQ(program->readingsClosed, 1);
    EXPECT_FALSE(std::filesystem::exists(scratch / "probe-e2e-report.md"));
}

TEST_F(EndToEndProbeTest, AReportThatCannotBeWrittenIsSaidAndEndsWithOne)
{
    // A directory where the report should go.
    std::filesystem::create_directories(scratch / "probe-e2e-report.md" / "inside");
    EXPECT_EQ(probe({}), 1);
    EXPECT_EQ(log.linesContaining("❌ 无法写入报告: ").size(), 1u);
    EXPECT_FALSE(log.contains("📄 E2E Report:"));
    EXPECT_TRUE(log.contains("📊 Total 0: ✅ 0 PASS  ❌ 0 FAIL"));
}

// The end-to-end desktop without the program's process.
SimFixture desktopWithoutProgram()
{
    SimFixture fixture = fixtureNamed("probe-e2e-desktop.json");
    std::erase_if(fixture.applications, [](const SimApplication& app) { return app.bundleIdentifier == "com.lorvantine.desktop"; });
    return fixture;
}

TEST(EndToEndProbeWithoutProgram, TheRunEndsWithTwoWhenTheProgramIsNotRunning)
{
    auto desktop = SimDesktop::create(desktopWithoutProgram());
    Platform::ScopedServices services(desktop->services());
    Log::Capture log;
    EndToEndProbeRunner::Environment environment;
    environment.logPath = "/var/tmp/e2e.log";
    EXPECT_EQ(EndToEndProbeRunner::run("matrix.json", environment), 2);
    // The hints say where the program's standard error must go.
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "❌ Lorvantine 主程序没跑。请在另一个终端启动：",
                                                       "   开发版: scripts/build && build/lorvantine 2>/var/tmp/e2e.log",
                                                       "   已安装: open -b com.lorvantine.desktop --stderr /var/tmp/e2e.log" }));
}

// Without a shared desktop the only copy of the program on the desktop is the runner itself,
// which is no program to drive.
class EndToEndRunnerAlone : public DesktopTest {
protected:
    std::shared_ptr<SimDesktop> makeDesktop() override { return SimDesktop::create(desktopWithoutProgram()); }
};

TEST_F(EndToEndRunnerAlone, NeitherRunnerTakesItsOwnProcessForTheProgram)
{
    ASSERT_EQ(pid(), static_cast<ProcessID>(::getpid())); // the desktop lists this process as the program
    clock->setMainThreadSleepsAdvance(true);
    test::ScratchDirectory scratch;
    test::writeFile(scratch / "matrix.json", "{\"apps\": []}");
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-e2e", (scratch / "matrix.json").string() }), 2);
    EXPECT_TRUE(log.contains("❌ Lorvantine 主程序没跑。请在另一个终端启动："));
    EXPECT_FALSE(log.contains("✅ Lorvantine pid="));

    log.clear();
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-ocr-e2e", "--app", "com.microsoft.VSCode", "--fixture", "notes.md" }), 2);
    EXPECT_TRUE(log.contains("❌ Lorvantine 主程序没跑。请另开终端:"));
    EXPECT_TRUE(log.contains("   scripts/build && build/lorvantine 2>/tmp/lorvantine-selection-ocr.log"));
    EXPECT_FALSE(log.contains("✅ Lorvantine pid="));
}

} // namespace
} // namespace lorvantine
