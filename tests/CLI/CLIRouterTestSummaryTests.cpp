#include "CLI/CLIRouter.h"

#include "Core/HighlightTestReportJson.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

namespace lorvantine {
namespace {

HighlightTestReport report(std::string title, int64_t totalChecks, int64_t passed, int64_t failed)
{
    HighlightTestReport result;
    result.articleTitle = std::move(title);
    result.timestamp = "2026-12-07T07:20:00Z";
    result.summary = { totalChecks, passed, failed, {}, std::nullopt };
    return result;
}

std::string line(const HighlightTestReport& value) { return *HighlightTestReportJson::jsonLine(value); }

class TestSummaryCommand : public ::testing::Test {
protected:
    // Runs the command on a results file holding `contents` and answers its status.
    int summarize(const std::string& contents)
    {
        test::writeFile(m_path, contents);
        return CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", m_path.string() });
    }

    test::ScratchDirectory m_scratch;
    std::filesystem::path m_path = m_scratch / "results.jsonl";
    Log::Capture m_log;
};

TEST_F(TestSummaryCommand, SummarisesTheReportsThatDecodeAndSkipsTheRest)
{
    HighlightTestReport first = report("First/page", 6, 2, 4);
    first.url = "https://a.example/x";
    first.paragraphCount = 2;
    first.totalCharacters = 120;
    ParagraphTestResult paragraph;
    paragraph.checks = { { "mega_paragraph", false, "" }, { "coverage", true, "" }, { "frame_height_ratio", false, "" } };
    paragraph.sentences.push_back({ "0..<5", "", 0, {}, { { "containment", false, "" } } });
    paragraph.sentences.push_back({ "5..<9", "", 0, {}, { { "containment", false, "" }, { "no_vertical_gap", true, "" } } });
    first.paragraphs = { paragraph };
    first.failureCategories = FailureCategories { 1, 0, 0, 1, 0, 3 };
    first.content = ContentValidator::ContentReport { .coverage = 0.8, .noiseRatio = 0.1 };

    HighlightTestReport second = report(std::string(41, 'x'), 2, 2, 0);
    second.paragraphCount = 1;
    second.totalCharacters = 30;
    std::string secondLine = line(second);
    secondLine.insert(secondLine.size() - 1, "\r");

    std::string missingKey = line(second);
    missingKey.replace(missingKey.find("\"timestamp\""), 1, "\"_");

    const std::string contents = line(first) + "garbage\n\n" + *HighlightTestReportJson::prettyJson(first) + "\n"
        + missingKey + "\r\n" + secondLine + "{\"articleTitle\":";
    EXPECT_EQ(summarize(contents), 0);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> {
                                 "=== 测试汇总 (2 篇文章) ===",
                                 "段落: 3, 字符: 150",
                                 "检查: 8, 通过: 4, 失败: 4",
                                 "通过率: 50.0%",
                                 "\n失败分布:",
                                 "  containment: 2",
                                 "  frame_height_ratio: 1",
                                 "  mega_paragraph: 1",
                                 "\n问题类别（受影响段落数）:",
                                 "  frameTooTall: 1",
                                 "  geometryError: 1",
                                 "\n内容指标 (1 篇):",
                                 "  平均覆盖率: 80.0%",
                                 "  平均噪音率: 10.0%",
                                 "\n逐篇结果:",
                                 "  ❌ First/page (https://a.example/x) — 2/6",
                                 "  ✅ " + std::string(40, 'x') + " — 2/2",
                             }));
}

TEST_F(TestSummaryCommand, FileWithoutReportsPrintsTheEmptySummary)
{
    EXPECT_EQ(summarize("not json\n[]\n\n"), 0);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> {
                                 "=== 测试汇总 (0 篇文章) ===",
                                 "段落: 0, 字符: 0",
                                 "检查: 0, 通过: 0, 失败: 0",
                                 "\n逐篇结果:",
                             }));
}

TEST_F(TestSummaryCommand, TitlesHoldingLineBreakCharactersKeepTheirReport)
{
    const std::vector<std::string> separators = { "\r", "\v", "\f", "\r\n", "\xC2\x85", "\xE2\x80\xA8", "\xE2\x80\xA9" };
    std::string contents;
    for (const std::string& separator : separators)
        contents += line(report("a" + separator + "b", 1, 1, 0));
    EXPECT_EQ(summarize(contents), 0);
    const std::vector<std::string> lines = m_log.lines();
    ASSERT_GE(lines.size(), separators.size());
    EXPECT_EQ(lines.front(), "=== 测试汇总 (7 篇文章) ===");
    for (size_t i = 0; i < separators.size(); ++i)
        EXPECT_EQ(lines[lines.size() - separators.size() + i], "  ✅ a" + separators[i] + "b — 1/1") << i;
}

// A results file is outside input: counts are held to 64 bits on reading and the sums never wrap.
TEST_F(TestSummaryCommand, CountsAtTheLimitAddUpAndCountsBeyondItSkipTheirLine)
{
    HighlightTestReport atLimit = report("big", INT64_MAX, INT64_MAX, 0);
    atLimit.paragraphCount = INT64_MAX;
    atLimit.totalCharacters = INT64_MIN;
    atLimit.failureCategories = FailureCategories { .geometryError = INT64_MAX };
    EXPECT_EQ(summarize(line(atLimit) + line(atLimit)), 0);
    EXPECT_EQ(m_log.lines().at(0), "=== 测试汇总 (2 篇文章) ===");
    EXPECT_EQ(m_log.lines().at(1), "段落: 18446744073709551614, 字符: -18446744073709551616");
    EXPECT_EQ(m_log.lines().at(2), "检查: 18446744073709551614, 通过: 18446744073709551614, 失败: 0");
    EXPECT_EQ(m_log.lines().at(3), "通过率: 100.0%");
    EXPECT_TRUE(m_log.contains("  geometryError: 18446744073709551614"));

    m_log.clear();
    std::string beyond = line(report("over", 1, 1, 0));
    beyond.replace(beyond.find("\"paragraphCount\":0"), 18, "\"paragraphCount\":9223372036854775808");
    EXPECT_EQ(summarize(beyond + line(report("kept", 1, 1, 0))), 0);
    EXPECT_EQ(m_log.lines().at(0), "=== 测试汇总 (1 篇文章) ===");
    EXPECT_EQ(m_log.lines().back(), "  ✅ kept — 1/1");
}

TEST_F(TestSummaryCommand, UsageAndUnreadableFilesEndWithStatusOne)
{
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary" }), 1);
    EXPECT_EQ(m_log.lines(), std::vector<std::string> { "用法: --test-summary <results.jsonl>" });

    m_log.clear();
    const std::string missing = (m_scratch / "missing.jsonl").string();
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", missing }), 1);
    EXPECT_EQ(m_log.lines(), std::vector<std::string> { "❌ 无法读取文件: " + missing });

    m_log.clear();
    EXPECT_EQ(summarize(line(report("ok", 1, 1, 0)) + "\xFF\n"), 1);
    EXPECT_EQ(m_log.lines(), std::vector<std::string> { "❌ 无法读取文件: " + m_path.string() });
}

TEST_F(TestSummaryCommand, RouterRunsTheCommandAndAnswersItsStatus)
{
    auto desktop = SimDesktop::demo();
    Platform::ScopedServices services(desktop->services());
    test::writeFile(m_path, line(report("routed", 3, 2, 1)));
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--test-summary", m_path.string() }), 0);
    EXPECT_TRUE(m_log.contains("  ❌ routed — 2/3"));
    EXPECT_EQ(CLIRouter::route({ "lorvantine", "--test-summary" }), 1);
}

} // namespace
} // namespace lorvantine
