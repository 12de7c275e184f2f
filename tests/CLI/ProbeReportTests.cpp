#include "CLI/SelectionProbeJson.h"
#include "CLI/SelectionProbeRunner.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

using namespace SelectionProbeRunner;

ProbeResult result(const std::string& app, const std::string& scenario, double coverage = 1.0)
{
    ProbeResult r;
    r.bundleID = "com.example." + app;
    r.appName = app;
    r.scenario = scenario;
    r.bfrCharCoverage = coverage;
    r.stringForRangeCharCoverage = coverage;
    r.randomRangeConsistency = coverage;
    r.verdict = "PASS";
    return r;
}

BaselineFingerprint baselineOf(std::map<std::string, ScenarioFingerprint> scenarios)
{
    return BaselineFingerprint { "Base", "com.example.Base", "2026-12-07T09:00:00Z", std::move(scenarios) };
}

TEST(ProbeBaselineComparison, OnlyDropsOfMoreThanAPointCount)
{
    const BaselineFingerprint baseline = baselineOf({ { "single_line", { 1.0, 1.0, 1.0, "n_a", std::nullopt } } });
    const struct {
        double share;
        size_t differences;
    } cases[] = { { 1.0, 0 }, { 0.995, 0 }, { 0.99, 0 }, { 0.985, 3 }, { 0.5, 3 } };
    for (const auto& c : cases)
        EXPECT_EQ(compareToBaseline({ result("App", "single_line", c.share) }, baseline).size(), c.differences) << c.share;
    EXPECT_EQ(compareToBaseline({ result("App", "single_line", 0.985) }, baseline),
              (std::vector<std::string> { "[single_line] BFR-Cov 98.5% < 基准 100.0%", "[single_line] Str-Cov 98.5% < 基准 100.0%",
                                          "[single_line] Rand 98.5% < 基准 100.0%" }));
    // A scenario the baseline does not know is skipped.
    EXPECT_TRUE(compareToBaseline({ result("App", "long_cjk", 0) }, baseline).empty());
}

TEST(ProbeBaselineComparison, LineDetectionAndCJKBoundsDropFromWhatTheBaselineHad)
{
    const BaselineFingerprint baseline = baselineOf({ { "multi_line", { 1, 1, 1, "exact", std::nullopt } },
                                                      { "long_cjk", { 1, 1, 1, "n_a", true } } });
    ProbeResult approx = result("App", "multi_line");
    approx.lineDetectionMode = "approx";
    ProbeResult notApplicable = result("App", "multi_line");
    ProbeResult zeroCJK = result("App", "long_cjk");
    zeroCJK.cjkBFRValid = false;
    ProbeResult unknownCJK = result("App", "long_cjk");
    EXPECT_EQ(compareToBaseline({ approx, notApplicable, zeroCJK, unknownCJK }, baseline),
              (std::vector<std::string> { "[multi_line] LineDet=approx (基准=exact)", "[long_cjk] CJK-BFR 无效 (基准有效)" }));
}

TEST(ProbeMarkdownReport, AnEmptyRunHasItsHeadingsAndNoRows)
{
    const std::string md = markdownReport({}, baselineOf({}), "2026-12-07T09:00:00Z");
    EXPECT_EQ(md.substr(0, md.find("\n## Legend")),
              "# Selection Probe Report\n\nGenerated: 2026-12-07T09:00:00Z\n\n## 概览\n\n"
              "| App | Scenario | Role | Set | Text | Range | BFR-1 | BFR-N | Lines | Verdict |\n"
              "|-----|----------|------|-----|------|-------|-------|-------|-------|---------|\n"
              "\n## 指纹（数据形状）\n\n"
              "| App | Scenario | BFR-Cov | Str-Cov | Rand | LineDet | CJK | Verdict |\n"
              "|-----|----------|---------|---------|------|---------|-----|---------|\n"
              "\n## 等价判定（vs 基准 Base）\n\n"
              "| App | 维度达标 | 判定 | 差异 |\n"
              "|-----|---------|------|------|\n");
    EXPECT_TRUE(md.ends_with("（仅 CJK 场景）\n\n## Failures & Partials\n\n"));
}

TEST(ProbeMarkdownReport, ReadBacksStayInsideTheirListItems)
{
    ProbeResult r = result("App", "multi_line", 0.8);
    r.verdict = "PARTIAL";
    r.failReasons = { "selected text 与期望不符" };
    r.readBackTextOK = true;
    r.readBackText = "line one\nuses `code`";
    r.expectedText = std::string(90, 'x') + "\n";
    r.bfrHoleOffsets = { 0, 7, 12 };
    r.randomRangeFailures = { "loc=3,len=1: set=true read=false" };
    const std::string md = markdownReport({ r }, std::nullopt, "t");
    EXPECT_NE(md.find("### App · multi_line — PARTIAL\n"
                      "- selected text 与期望不符\n"
                      "- BFR 空洞采样（选区内偏移）: [0, 7, 12]\n"
                      "- 随机 Range 失败采样:\n"
                      "  - loc=3,len=1: set=true read=false\n"
                      "- readBackText: `line one↵uses \\`code\\``\n"
                      "- expected:     `" + std::string(80, 'x') + "`\n\n"),
              std::string::npos)
        << md;
    EXPECT_NE(md.find("| App | multi_line | 80.0% | 80.0% | 80% | n_a | — | ⚠️ |"), std::string::npos) << md;
    EXPECT_NE(md.find("| App | multi_line | ? | ✗ | ≠ | ✗ | ✗ | ✗ | 0 | ⚠️ PARTIAL |"), std::string::npos) << md;
}

TEST(ProbeJson, OptionalFieldsAreLeftOutAndTheBaselineReadsBack)
{
    const std::string json = *SelectionProbeJson::encodeResults({ result("A/B", "single_line") });
    EXPECT_EQ(json.find("focusedRole"), std::string::npos);
    EXPECT_EQ(json.find("cjkBFRValid"), std::string::npos);
    EXPECT_NE(json.find("\"appName\" : \"A\\/B\""), std::string::npos);
    const BaselineFingerprint baseline = baselineOf({ { "long_cjk", { 0.5, 1, 0.8, "n_a", false } }, { "single_line", { 1, 1, 1, "n_a", std::nullopt } } });
    EXPECT_EQ(SelectionProbeJson::decodeBaseline(*SelectionProbeJson::encodeBaseline(baseline)), baseline);
    for (const char* broken : { "", "[]", "{\"appName\": \"A\", \"bundleID\": \"b\", \"capturedAt\": \"t\"}",
                                "{\"appName\": \"A\", \"bundleID\": \"b\", \"capturedAt\": \"t\", \"scenarios\": {\"x\": {}}}" })
        EXPECT_EQ(SelectionProbeJson::decodeBaseline(broken), std::nullopt) << broken;
}

TEST(ProbeConfiguration, DecodesOptionalFieldsAndIgnoresUnknownKeys)
{
    auto config = SelectionProbeJson::decodeConfig(
        R"({"apps": [{"bundleID": "a", "name": "A", "fixture": "f.txt", "setup": "apple-script", "script": "s.scpt",
                     "cleanup": "close-terminal-marker-tab", "isBaseline": true, "keepAlive": false, "colour": "red"},
                    {"bundleID": "b", "name": "B", "fixture": "g.txt"}], "version": 2})");
    ASSERT_TRUE(config) << config.error();
    EXPECT_EQ(config->apps, (std::vector<AppConfig> { { "a", "A", "f.txt", SetupMode::appleScript, "s.scpt",
                                                        CleanupMode::closeTerminalMarkerTab, true, false },
                                                      { "b", "B", "g.txt" } }));
}

} // namespace
} // namespace lorvantine
