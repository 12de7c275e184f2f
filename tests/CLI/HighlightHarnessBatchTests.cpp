#include "CLI/HighlightHarnessTest.h"

#include "Core/HighlightTestReportJson.h"
#include "Support/Text.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

// Five catalogue entries: three pages, an address Safari cannot find, and a line that would reach
// open as an option.
const std::string fiveUrls = "# pages of the catalogue\n"
                             "https://example.com/quiet-art\n"
                             "  https://example.com/short-walks\t\n"
                             "\n"
                             "https://example.com/gone\n"
                             "-a Preview\n"
                             "https://example.com/man-man-zou\n";

std::vector<std::string> fileLines(const std::filesystem::path& path)
{
    std::vector<std::string> lines;
    std::istringstream in(test::readFile(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

TEST_F(HighlightHarnessTest, ABatchTestsEveryPageOfTheListAndWritesItsResultsFailureReportAndMetrics)
{
    test::writeFile(scratch / "urls.txt", fiveUrls);
    const std::string runs = (scratch / "runs").string();
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--results-dir", runs, "--round", "3",
                      "--fail-report" }),
              0);

    // Four addresses reach Safari; the "-" line never does.
    const auto opens = processRuns("/usr/bin/open");
    ASSERT_EQ(opens.size(), 4u);
    for (const SimJournalEntry& open : opens) {
        const auto* arguments = axGet<std::vector<std::string>>(open.value);
        ASSERT_NE(arguments, nullptr);
        ASSERT_EQ(arguments->size(), 3u);
        EXPECT_EQ((*arguments)[0], "-a");
        EXPECT_EQ((*arguments)[1], "Safari");
        EXPECT_TRUE((*arguments)[2].starts_with("https://"));
    }
    // Each tab is closed by the five-line keystroke script, with Safari brought to the front first.
    const auto scripts = processRuns("/usr/bin/osascript");
    ASSERT_EQ(scripts.size(), 4u);
    const std::vector<std::string> closing { "-e", "tell application id \"com.apple.Safari\" to activate", "-e",
                                             "tell application \"System Events\"\n    tell process \"Safari\"\n"
                                             "        keystroke \"w\" using command down\n    end tell\nend tell" };
    for (const SimJournalEntry& script : scripts)
        EXPECT_EQ(axGet<std::vector<std::string>>(script.value) ? *axGet<std::vector<std::string>>(script.value)
                                                                : std::vector<std::string> {},
                  closing);
    // Every tab opened was closed again, and the user's editor kept its window.
    EXPECT_TRUE(desktop->windowNumbers(*desktop->pidOf("com.apple.Safari")).empty());
    EXPECT_EQ(desktop->windowNumbers(*desktop->pidOf("com.example.Jotter")).size(), 1u);

    EXPECT_TRUE(log.contains("📋 批量测试 4 篇文章 → " + runs + "/round-3.jsonl"));
    EXPECT_TRUE(log.contains("\n[3/4] https://example.com/gone"));
    EXPECT_TRUE(log.contains("\n=== 批量测试汇总 ==="));
    EXPECT_TRUE(log.contains("\n📄 失败报告: " + runs + "/round-3-failures.json"));
    EXPECT_TRUE(log.contains("📊 指标已记录: " + runs + "/metrics.jsonl"));

    const auto results = fileLines(runs + "/round-3.jsonl");
    for (const std::string& line : results) {
        auto report = HighlightTestReportJson::decode(line);
        ASSERT_TRUE(report) << line;
        EXPECT_EQ(report->timestamp, "2026-12-07T09:00:00Z");
        ASSERT_TRUE(report->url);
    }
    EXPECT_EQ(test::readFile(runs + "/round-3.jsonl"), test::readFile(harnessGoldenDirectory + "round-3.jsonl"));
    EXPECT_EQ(test::readFile(runs + "/round-3-failures.json"), test::readFile(harnessGoldenDirectory + "round-3-failures.json"));
    EXPECT_EQ(test::readFile(runs + "/metrics.jsonl"), test::readFile(harnessGoldenDirectory + "metrics.jsonl"));
    EXPECT_EQ(standardOutput, "");
}

TEST_F(HighlightHarnessTest, AResultsFileCutShortMidLineGetsTheNextReportOnALineOfItsOwn)
{
    test::writeFile(scratch / "urls.txt", "https://example.com/short-walks\n");
    test::writeFile(scratch / "out.jsonl", "{\"articleTitle\":\"cut sh");
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--append", (scratch / "out.jsonl").string() }), 0);
    const auto lines = fileLines(scratch / "out.jsonl");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "{\"articleTitle\":\"cut sh");
    auto report = HighlightTestReportJson::decode(lines[1]);
    ASSERT_TRUE(report);
    EXPECT_EQ(report->articleTitle, "Short Walks");
}

TEST_F(HighlightHarnessTest, TheResultsPathFollowsTheListOnlyThroughATrailingTxt)
{
    using HighlightTestHarness::Options;
    const struct {
        Options options;
        std::string list;
        std::string expected;
    } cases[] = {
        { {}, "lists/urls.txt", "lists/urls-results.jsonl" },
        { {}, "my.txt.d/urls.txt", "my.txt.d/urls-results.jsonl" },
        { {}, "lists/urls", "lists/urls-results.jsonl" },
        { {}, "lists/urls.txt.bak", "lists/urls.txt.bak-results.jsonl" },
        { { .append = "out.jsonl" }, "urls.txt", "out.jsonl" },
        { { .append = "out.jsonl", .round = 3, .resultsDir = "runs" }, "urls.txt", "runs/round-3.jsonl" },
        { { .append = "out.jsonl", .resultsDir = "runs" }, "urls.txt", "out.jsonl" },
        { { .round = 3 }, "urls.txt", "urls-results.jsonl" },
    };
    for (const auto& c : cases)
        EXPECT_EQ(HighlightTestHarness::batchResultsPath(c.options, c.list), c.expected) << c.list;

    const std::pair<const char*, std::optional<int64_t>> rounds[] = {
        { "3", 3 }, { "+3", 3 }, { "-2", -2 }, { "x3", std::nullopt }, { "3.0", std::nullopt }, { "", std::nullopt },
        { "+", std::nullopt }, { "-", std::nullopt }, { "+-3", std::nullopt }, { " 3", std::nullopt },
        { "99999999999999999999", std::nullopt },
    };
    for (const auto& [text, expected] : rounds)
        EXPECT_EQ(HighlightTestHarness::parseRound(text), expected) << text;
}

TEST_F(HighlightHarnessTest, AFailedAppendIsReportedOnceTheRunGoesOnAndTheLinesGoToStandardOutput)
{
    test::writeFile(scratch / "urls.txt", "https://example.com/short-walks\nhttps://example.com/quiet-art\n");
    const std::string missing = (scratch / "no-such-folder" / "out.jsonl").string();
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--append", missing }), 1);
    EXPECT_EQ(log.linesContaining("⚠️ 无法写入结果文件").size(), 1u);
    EXPECT_TRUE(log.contains("文章: 2/2"));
    // Nothing is lost: both reports, one line each, on standard output.
    const auto lines = Text::components(standardOutput, "\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(HighlightTestReportJson::decode(lines[0])->url, "https://example.com/short-walks");
    EXPECT_EQ(HighlightTestReportJson::decode(lines[1])->url, "https://example.com/quiet-art");
}

TEST_F(HighlightHarnessTest, AFailureReportOrMetricsLineThatCannotBeWrittenIsSaidAndEndsWithOne)
{
    test::writeFile(scratch / "urls.txt", "https://example.com/gone\n");
    // A file where the results directory should be: nothing can be written under it.
    const std::string runs = (scratch / "runs").string();
    test::writeFile(runs, "");
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--results-dir", runs, "--round", "4",
                      "--fail-report" }),
              1);
    EXPECT_EQ(log.linesContaining("❌ 无法写入报告: ").size(), 1u);
    EXPECT_FALSE(log.contains("失败报告: "));
    EXPECT_FALSE(log.contains("📊 指标已记录"));
    EXPECT_EQ(log.linesContaining("⚠️ 无法写入结果文件").size(), 2u); // the round's results, the metrics log
    // The round's results line and the metrics line, which had nowhere else to go.
    const auto lines = Text::components(standardOutput, "\n");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(HighlightTestReportJson::decode(lines[0]));
    EXPECT_TRUE(lines[1].starts_with("{\"articles_tested\":1,")) << lines[1];
}

TEST_F(HighlightHarnessTest, WhenOpenCannotRunTheUrlIsSkippedAndNothingIsClosed)
{
    // No Safari on this desk: open refuses, and the front window is the user's own.
    auto fixture = fixtureNamed("highlight-harness-desktop.json");
    fixture.installed.clear();
    useDesktop(SimDesktop::create(fixture));
    test::writeFile(scratch / "urls.txt", "https://example.com/short-walks\n");
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string() }), 0);
    EXPECT_TRUE(log.contains("  ⚠ 无法打开 URL: Unable to find application named 'Safari'"));
    EXPECT_TRUE(processRuns("/usr/bin/osascript").empty());
    EXPECT_EQ(desktop->windowNumbers(*desktop->pidOf("com.example.Jotter")).size(), 1u);
    EXPECT_TRUE(log.contains("文章: 0/1"));
    EXPECT_EQ(test::readFile(scratch / "urls-results.jsonl"), "");
}

TEST_F(HighlightHarnessTest, AListOfCommentsOnlyReportsNothingAndAnUnreadableListFails)
{
    test::writeFile(scratch / "urls.txt", "# nothing yet\n\n   \n");
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--fail-report" }), 0);
    EXPECT_TRUE(log.contains("📋 批量测试 0 篇文章 → " + (scratch / "urls-results.jsonl").string()));
    EXPECT_TRUE(log.contains("文章: 0/0"));
    EXPECT_TRUE(log.contains("总检查: 0, 通过: 0, 失败: 0"));
    EXPECT_FALSE(log.contains("通过率"));
    EXPECT_FALSE(log.contains("失败报告"));

    log.clear();
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "absent.txt").string() }), 1);
    EXPECT_TRUE(log.contains("❌ 无法读取 URL 文件: " + (scratch / "absent.txt").string()));
}

TEST_F(HighlightHarnessTest, AUrlListThatIsNoRegularFileOrNotTextIsRefusedWithItsReason)
{
    const std::string latin1 = (scratch / "latin1.txt").string();
    test::writeFile(latin1, "https://example.com/caf\xE9\n");
    for (const auto& [path, reason] : { std::pair<std::string, std::string> { "/dev/zero", "/dev/zero is a device, not a file" },
                                        std::pair<std::string, std::string> { latin1, latin1 + " is not UTF-8 at byte 23" } }) {
        log.clear();
        EXPECT_EQ(route({ "--test-highlight", "--batch", path }), 1) << path;
        EXPECT_EQ(log.lines(), (std::vector<std::string> { "✅ 辅助功能权限已授权", "❌ 无法读取 URL 文件: " + path, "   " + reason }));
    }
    log.clear();
    EXPECT_EQ(route({ "--validate-urls", "/dev/zero" }), 1);
    EXPECT_EQ(log.lines(), (std::vector<std::string> { "✅ 辅助功能权限已授权", "❌ 无法读取文件: /dev/zero", "   /dev/zero is a device, not a file" }));
    EXPECT_TRUE(processRuns("/usr/bin/open").empty());
}

// URL validation loses only the line that holds a byte of another encoding, and says which.
TEST_F(HighlightHarnessTest, ValidationSkipsAndNamesTheLinesOfTheListThatAreNotUtf8)
{
    test::writeFile(scratch / "urls.txt", "# candidates\nhttps://example.com/quiet-art\nhttps://example.com/caf\xE9\r\n"
                                          "https://example.com/moved\n\xFF\n");
    EXPECT_EQ(route({ "--validate-urls", (scratch / "urls.txt").string() }), 0);
    const std::vector<std::string> lines = log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[1], "⚠️ 2 行不是 UTF-8，已跳过: 第 3, 5 行");
    EXPECT_EQ(lines[2], "🔍 验证 2 个 URL...");
    EXPECT_EQ(standardOutput, "https://example.com/quiet-art\n");
    EXPECT_EQ(processRuns("/usr/bin/open").size(), 2u);
}

TEST_F(HighlightHarnessTest, ARoundThatIsNotANumberWritesNoMetricsAndCannotNameAFailureReport)
{
    test::writeFile(scratch / "urls.txt", "https://example.com/gone\n");
    const std::string runs = (scratch / "runs").string();
    std::filesystem::create_directories(runs);
    EXPECT_EQ(route({ "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--results-dir", runs, "--round", "x3" }), 0);
    EXPECT_FALSE(std::filesystem::exists(runs + "/metrics.jsonl"));
    EXPECT_TRUE(std::filesystem::exists(scratch / "urls-results.jsonl"));

    // The report would be named after the round: a usage error, said before any page is opened.
    for (const std::vector<std::string>& round : { std::vector<std::string> { "--round", "x3" }, std::vector<std::string> { "--round" } }) {
        log.clear();
        std::vector<std::string> args { "--test-highlight", "--batch", (scratch / "urls.txt").string(), "--results-dir",
                                        (scratch / "new-runs").string(), "--fail-report" };
        args.insert(args.end(), round.begin(), round.end());
        EXPECT_EQ(route(args), 1);
        EXPECT_TRUE(log.contains("❌ --round 须是整数（失败报告以它命名）: \"" + std::string(round.size() == 2 ? "x3" : "") + "\""));
        EXPECT_FALSE(std::filesystem::exists(scratch / "new-runs"));
    }
    EXPECT_EQ(processRuns("/usr/bin/open").size(), 1u);
}

} // namespace
} // namespace lorvantine

namespace lorvantine {
namespace {

TEST(HighlightHarnessReports, EqualCountsFollowTheirNamesAndEachFileKeepsItsOwnCategories)
{
    EXPECT_EQ(HighlightTestHarness::byCountThenName({ { "no_vertical_gap", 2 }, { "containment", 5 }, { "bounds_available", 2 },
                                                      { "width_consistency", 2 } }),
              (std::vector<std::pair<std::string, int64_t>> {
                  { "containment", 5 }, { "bounds_available", 2 }, { "no_vertical_gap", 2 }, { "width_consistency", 2 } }));

    // One paragraph failing "width_consistency" and "reasonable_dims" in its sentences: the report
    // records count it as a geometry error, the failure report's grouping leaves both names out.
    HighlightTestReport report;
    report.articleTitle = "Page";
    ParagraphTestResult paragraph;
    paragraph.index = 4;
    paragraph.sentences.push_back({ .charRange = "0..<5", .checks = { { "width_consistency", false, "line[0] width=1.0" } } });
    paragraph.sentences.push_back({ .charRange = "5..<9", .checks = { { "reasonable_dims", false, "line[0] 1.0×2.0" } } });
    report.paragraphs.push_back(paragraph);
    const std::string failures = HighlightTestHarness::failureReportJson({ report }, 0);
    EXPECT_NE(failures.find("\"geometryError\" : 0"), std::string::npos) << failures;
    EXPECT_NE(failures.find("\"url\" : \"\""), std::string::npos) << failures;
    EXPECT_NE(failures.find("\"totalFailedParagraphs\" : 1"), std::string::npos) << failures;
    EXPECT_EQ(HighlightTestHarness::metricsLine({ report }, 7, "2026-12-07T09:00:00Z"),
              R"({"articles_tested":1,"content_coverage_avg":0,"content_noise_avg":0,)"
              R"("failures_by_type":{"reasonable_dims":1,"width_consistency":1},"pass_rate":0,"round":7,)"
              R"("timestamp":"2026-12-07T09:00:00Z","total_checks":0})");
}

} // namespace
} // namespace lorvantine
