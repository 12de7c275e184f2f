#include "CLI/ProbeMatrixTest.h"

#include "Support/Text.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using Kind = SimJournalEntry::Kind;

int processRuns(const SimDesktop& desktop)
{
    int runs = 0;
    for (const SimJournalEntry& entry : desktop.journal())
        runs += entry.kind == Kind::process;
    return runs;
}

bool runs(SimDesktop& desktop, const std::string& bundleID) { return desktop.pidOf(bundleID).has_value(); }

TEST_F(ProbeMatrixTest, WithoutAConfigurationPathItPrintsItsUsage)
{
    for (const std::vector<std::string>& args : { std::vector<std::string> { "lorvantine", "--probe-matrix" },
                                                  std::vector<std::string> { "lorvantine", "--probe-matrix", "--verbose" } }) {
        log.clear();
        EXPECT_EQ(CLIRouter::route(args), 1);
        EXPECT_EQ(log.lines(), (std::vector<std::string> { "✅ 辅助功能权限已授权", "用法: --probe-matrix <matrix-config.json>",
                                                           "示例: --probe-matrix test-fixtures/probe-matrix.json" }));
    }
}

TEST_F(ProbeMatrixTest, AConfigurationThatCannotBeReadOrDecodedStopsBeforeAnyApplication)
{
    const std::string app = probeApp("com.example.PlainEdit", "PlainEdit");
    const struct {
        const char* what;
        std::string text;
    } cases[] = {
        { "syntax", "{\"apps\": [" },
        { "no apps", "{}" },
        { "missing fixture key", "{\"apps\": [{\"bundleID\": \"a\", \"name\": \"A\"}]}" },
        { "wrong type", "{\"apps\": [{\"bundleID\": \"a\", \"name\": 3, \"fixture\": \"f\"}]}" },
        { "setup in the wrong case", "{\"apps\": [" + app.substr(0, app.size() - 1) + ", \"setup\": \"File\"}]}" },
        { "unknown cleanup", "{\"apps\": [" + app.substr(0, app.size() - 1) + ", \"cleanup\": \"shred\"}]}" },
        { "baseline not a boolean", "{\"apps\": [" + app.substr(0, app.size() - 1) + ", \"isBaseline\": 1}]}" },
    };
    for (const auto& c : cases) {
        log.clear();
        test::writeFile(scratch / "bad.json", c.text);
        EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-matrix", (scratch / "bad.json").string() }), 1) << c.what;
        EXPECT_TRUE(log.contains("❌ matrix 配置 JSON 解析失败")) << c.what;
    }
    log.clear();
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-matrix", (scratch / "absent.json").string() }), 1);
    EXPECT_TRUE(log.contains("❌ 无法读取 matrix 配置: " + (scratch / "absent.json").string()));
    // A device is refused without being read: it could be endless.
    log.clear();
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-matrix", "/dev/zero" }), 1);
    EXPECT_EQ(log.linesContaining("❌ 无法读取 matrix 配置: /dev/zero").size(), 1u);
    EXPECT_TRUE(log.contains("   /dev/zero is a device, not a file"));
    EXPECT_EQ(processRuns(*desktop), 0);
    EXPECT_FALSE(std::filesystem::exists(scratch / "probe-report.json"));
}

TEST_F(ProbeMatrixTest, AConfigurationThatIsNotTextIsQuotedByBytePositionNeverEchoed)
{
    // A name cut inside a character, and a terminal's escape sequence spelt as a JSON escape.
    test::writeFile(scratch / "bad.json", "{\"apps\": [{\"bundleID\": \"a\", \"name\": \"\xE6\x96\xB0\xE5\xBB\x1B[2J\"}]}");
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-matrix", (scratch / "bad.json").string() }), 1);
    EXPECT_TRUE(log.contains("   not valid JSON: not UTF-8 at byte 40"));
    for (const std::string& line : log.lines())
        EXPECT_TRUE(Text::isValidUtf8(line) && line.find('\x1B') == std::string::npos) << line;

    log.clear();
    const std::string app = probeApp("com.example.PlainEdit", "PlainEdit");
    test::writeFile(scratch / "bad.json", "{\"apps\": [" + app.substr(0, app.size() - 1) + ", \"setup\": \"\\u001b[2J\"}]}");
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--probe-matrix", (scratch / "bad.json").string() }), 1);
    EXPECT_TRUE(log.contains("   /apps/0/setup: unknown value \"\\u001b[2J\""));
    for (const std::string& line : log.lines())
        EXPECT_EQ(line.find('\x1B'), std::string::npos) << line;
}

TEST_F(ProbeMatrixTest, AReportThatCannotBeWrittenIsSaidNeverAnnouncedAndEndsWithOne)
{
    // Directories where the three files should go.
    for (const char* name : { "probe-report.json", "probe-baseline.json", "probe-report.md" })
        std::filesystem::create_directories(scratch / name / "inside");
    EXPECT_EQ(probe({ probeApp("com.example.PlainEdit", "PlainEdit", ", \"isBaseline\": true") }), 1);
    EXPECT_EQ(log.linesContaining("❌ 无法写入报告: ").size(), 3u);
    EXPECT_FALSE(log.contains("🔷 基准已保存"));
    EXPECT_FALSE(log.contains("📄 JSON:"));
    EXPECT_FALSE(log.contains("📄 Markdown:"));
    EXPECT_TRUE(log.contains("📊 Total 7: ✅ 7 PASS  ⚠️  0 PARTIAL  ❌ 0 FAIL"));
}

TEST_F(ProbeMatrixTest, AnEmptyMatrixWritesAnEmptyReportAndSucceeds)
{
    EXPECT_EQ(probe({}), 0);
    EXPECT_EQ(report("probe-report.json"), "[\n\n]");
    EXPECT_TRUE(log.contains("🔬 Selection Probe — 0 个 App"));
    EXPECT_TRUE(log.contains("📊 Total 0: ✅ 0 PASS  ⚠️  0 PARTIAL  ❌ 0 FAIL"));
}

TEST_F(ProbeMatrixTest, TheBaselineEditorPassesEveryScenarioAndItsReportsMatchTheGoldenFiles)
{
    EXPECT_EQ(probe({ probeApp("com.example.PlainEdit", "PlainEdit", ", \"isBaseline\": true") }), 0);
    for (const char* name : { "probe-report.json", "probe-baseline.json", "probe-report.md" })
        EXPECT_EQ(report(name), test::readFile(probeGoldenDirectory + name)) << name;
    EXPECT_TRUE(log.contains("🔷 基准已保存: probe-baseline.json (app=PlainEdit)"));
    EXPECT_TRUE(log.contains("\n📄 JSON:     " + (scratch / "probe-report.json").string()));
    EXPECT_TRUE(log.contains("📄 Markdown: " + (scratch / "probe-report.md").string()));
    EXPECT_TRUE(log.contains("📊 Total 7: ✅ 7 PASS  ⚠️  0 PARTIAL  ❌ 0 FAIL"));
    // Launched by bundle identifier on the fixture, and left running without "keepAlive".
    const auto journal = desktop->journal();
    auto open = std::find_if(journal.begin(), journal.end(), [](const SimJournalEntry& e) { return e.kind == Kind::process; });
    ASSERT_NE(open, journal.end());
    EXPECT_EQ(open->name, "/usr/bin/open");
    EXPECT_EQ(open->value, AXValue(std::vector<std::string> { "-b", "com.example.PlainEdit", probeFixturePath }));
    EXPECT_TRUE(runs(*desktop, "com.example.PlainEdit"));
}

TEST_F(ProbeMatrixTest, TheSubRangesOfATenUnitStretchAreSetAtTheirOffsetsAndCounts)
{
    EXPECT_EQ(probe({ probeApp("com.example.PlainEdit", "PlainEdit") }), 0);
    // "Quick fox." starts at unit 31 of the fixture: the whole stretch, ten sub-ranges, the whole again.
    const std::vector<AXRange> sets = selectionsSet();
    ASSERT_GE(sets.size(), 12u);
    const std::vector<int64_t> offsets { 3, 2, 1, 0, 8, 7, 6, 5, 4, 3 };
    const std::vector<int64_t> counts { 1, 1, 6, 2, 1, 1, 3, 1, 3, 1 };
    std::vector<AXRange> expected { AXRange { 31, 10 } };
    for (size_t k = 0; k < offsets.size(); ++k)
        expected.push_back(AXRange { 31 + offsets[k], counts[k] });
    expected.push_back(AXRange { 31, 10 });
    EXPECT_EQ(std::vector<AXRange>(sets.begin(), sets.begin() + 12), expected);
}

TEST_F(ProbeMatrixTest, EachApplicationIsJudgedAgainstTheBaselineAndOneWithoutResultsFailsTheRun)
{
    const int status = probe({ probeApp("com.example.PlainEdit", "PlainEdit", ", \"isBaseline\": true"),
                               probeApp("com.apple.Notes", "Notes",
                                        ", \"setup\": \"paste-new-window\", \"cleanup\": \"delete-notes-with-marker\", \"keepAlive\": false"),
                               probeApp("com.example.Missing", "Missing", "", (scratch / "nothing.txt").string()),
                               probeApp("com.example.DriftEdit", "DriftEdit"),
                               probeApp("com.example.WebPad", "WebPad", ", \"keepAlive\": false") });
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(log.contains("  ❌ fixture 不存在: " + (scratch / "nothing.txt").string()));
    EXPECT_TRUE(log.contains("❌ Missing 没有产生任何结果"));

    const std::string json = report("probe-report.json");
    EXPECT_EQ(json.find("com.example.Missing"), std::string::npos);
    const std::string md = report("probe-report.md");
    // Notes loses its CJK bounds; DriftEdit reads its selection back one unit off; WebPad has no text area.
    EXPECT_NE(md.find("| Notes | long_cjk | AXTextArea | ✓ | ✓ | ✓ | ✗ | ✗ | 0 | ❌ FAIL |"), std::string::npos) << md;
    EXPECT_NE(md.find("| DriftEdit | single_line | AXTextArea | ✓ | ✓ | ≠ | ✓ | ✓ | 1 | ⚠️ PARTIAL |"), std::string::npos);
    EXPECT_NE(md.find("| WebPad | single_line | ? | ✗ | ✗ | ✗ | ✗ | ✗ | 0 | ❌ FAIL |"), std::string::npos);
    EXPECT_NE(md.find("### WebPad · edge_spaces — FAIL\n- 未找到含 `<<P1>>` 的 AXTextArea/AXTextField"), std::string::npos);
    // Groups in name order, the baseline marked, the others with what fell short.
    const size_t section = md.find("## 等价判定（vs 基准 PlainEdit）\n\n| App | 维度达标 | 判定 | 差异 |\n");
    ASSERT_NE(section, std::string::npos) << md;
    const size_t drift = md.find("| DriftEdit | -2/5 | ⚠️ NEEDS-MANUAL | [single_line] Rand 0.0% < 基准 100.0%", section);
    const size_t notes = md.find("| Notes | 1/5 | ⚠️ NEEDS-MANUAL | [cjk_mixed] BFR-Cov 86.2% < 基准 100.0%; [cjk_mixed] CJK-BFR "
                                 "无效 (基准有效); [long_cjk] BFR-Cov 5.5% < 基准 100.0%; [long_cjk] CJK-BFR 无效 (基准有效) |\n",
                                 section);
    const size_t plain = md.find("| PlainEdit | — | 🔷 BASELINE | — |", section);
    const size_t web = md.find("| WebPad | ", section);
    EXPECT_NE(drift, std::string::npos) << md;
    EXPECT_TRUE(drift < notes && notes < plain && plain < web) << md;

    // Notes' note was deleted and Notes quit; WebPad quit with its failures; DriftEdit stays.
    EXPECT_FALSE(runs(*desktop, "com.apple.Notes"));
    EXPECT_FALSE(runs(*desktop, "com.example.WebPad"));
    EXPECT_TRUE(runs(*desktop, "com.example.DriftEdit"));
    int deleted = 0;
    for (const SimJournalEntry& entry : desktop->journal())
        deleted += entry.kind == Kind::reaction && entry.name == "deleteNote";
    EXPECT_EQ(deleted, 1);
}

TEST_F(ProbeMatrixTest, ABaselineApplicationWithoutResultsOrWithOnlyFailuresKeepsTheOldBaseline)
{
    test::writeFile(scratch / "probe-baseline.json", test::readFile(probeGoldenDirectory + "probe-baseline.json"));
    for (const std::string& baseline : { probeApp("com.example.WebPad", "WebPad", ", \"isBaseline\": true"),
                                         probeApp("com.example.Gone", "Gone", ", \"isBaseline\": true", (scratch / "x.txt").string()) }) {
        log.clear();
        EXPECT_EQ(probe({ baseline, probeApp("com.example.DriftEdit", "DriftEdit") }), 1);
        EXPECT_EQ(report("probe-baseline.json"), test::readFile(probeGoldenDirectory + "probe-baseline.json"));
        EXPECT_EQ(log.linesContaining("⚠️  基准未保存: ").size(), 1u);
        EXPECT_FALSE(log.contains("🔷 基准已保存"));
        // The old baseline still judges the others.
        EXPECT_NE(report("probe-report.md").find("## 等价判定（vs 基准 PlainEdit）"), std::string::npos);
    }
}

TEST_F(ProbeMatrixTest, WithoutABaselineFileTheReportHasNoEquivalenceSection)
{
    EXPECT_EQ(probe({ probeApp("com.example.DriftEdit", "DriftEdit") }), 0);
    EXPECT_FALSE(std::filesystem::exists(scratch / "probe-baseline.json"));
    const std::string md = report("probe-report.md");
    EXPECT_EQ(md.find("等价判定"), std::string::npos);
    EXPECT_NE(md.find("\n## Legend\n"), std::string::npos);
    test::writeFile(scratch / "probe-baseline.json", "{\"appName\": \"PlainEdit\"}");
    EXPECT_EQ(probe({ probeApp("com.example.DriftEdit", "DriftEdit") }), 0);
    EXPECT_EQ(report("probe-report.md").find("等价判定"), std::string::npos);
}

TEST_F(ProbeMatrixTest, AnAppleScriptSetupWithoutItsScriptSkipsTheApplication)
{
    EXPECT_EQ(probe({ probeApp("com.example.PlainEdit", "PlainEdit", ", \"setup\": \"apple-script\"") }), 1);
    EXPECT_TRUE(log.contains("  ❌ setup=apple-script 但未配置 script 字段"));
    EXPECT_TRUE(log.contains("  ❌ com.example.PlainEdit 未能启动 / 加载 fixture"));
    EXPECT_EQ(report("probe-report.json"), "[\n\n]");

    test::writeFile(scratch / "launch.applescript", "tell application id \"com.example.PlainEdit\" to activate\nbeep\n");
    log.clear();
    EXPECT_EQ(probe({ probeApp("com.example.PlainEdit", "PlainEdit",
                               ", \"setup\": \"apple-script\", \"script\": \"launch.applescript\"") }), 1);
    EXPECT_EQ(log.linesContaining("  ❌ AppleScript 退出非零 (1): execution error: syntax error").size(), 1u);
}

TEST_F(ProbeMatrixTest, TheTerminalCleanUpClosesTheFixtureTabButNeverTheProgramsOwn)
{
    EXPECT_EQ(probe({ probeApp("com.apple.Terminal", "Terminal",
                               ", \"setup\": \"paste-new-window\", \"cleanup\": \"close-terminal-marker-tab\"") }), 0);
    // The program's own tab (3002) prints the marker too and stays; the pasted tab is closed.
    const auto pid = desktop->pidOf("com.apple.Terminal");
    ASSERT_TRUE(pid);
    EXPECT_EQ(desktop->windowNumbers(*pid), std::vector<uint32_t> { 3002 });
    // Another tab showing the marker, behind the program's own, which is in front.
    const uint32_t leftOver = desktop->addWindow(*pid, SimWindow { .title = "left over", .frame = Rect(0, 30, 300, 200),
                                                                  .children = { SimElement("AXTextArea", "<<P1>> left over") },
                                                                  .tty = "/dev/ttys007" });
    desktop->raiseWindow(3002);
    std::string error;
    EXPECT_TRUE(Platform::workspace().runAppleScript(SelectionProbeRunner::terminalCleanupScript("/dev/ttys001"), error)) << error;
    EXPECT_EQ(desktop->windowNumbers(*pid), std::vector<uint32_t> { 3002 });
    EXPECT_EQ(desktop->windowFrame(leftOver), std::nullopt);
    // Without the program's own tty the walk closes the first tab showing the marker: its own.
    EXPECT_TRUE(Platform::workspace().runAppleScript(SelectionProbeRunner::terminalCleanupScript(std::nullopt), error)) << error;
    EXPECT_TRUE(desktop->windowNumbers(*pid).empty());
}

} // namespace
} // namespace lorvantine
