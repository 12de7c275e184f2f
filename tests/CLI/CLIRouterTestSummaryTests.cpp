#include "CLI/CLIRouter.h"

#include "Core/HighlightTestReportJson.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Files.h"
#include "Support/Log.h"
#include "TestSupport/ScratchDirectory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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

// A results file is outside input: counts are held to 64 bits on reading, and a report with a
// count beyond them, one that would carry a sum past them, or one whose checks do not add up, is
// left out and named.
TEST_F(TestSummaryCommand, CountsAtTheLimitAddUpAndCountsBeyondItSkipTheirLine)
{
    HighlightTestReport atLimit = report("big", INT64_MAX, INT64_MAX, 0);
    atLimit.paragraphCount = INT64_MAX;
    atLimit.totalCharacters = INT64_MAX - 1;
    atLimit.failureCategories = FailureCategories { .geometryError = INT64_MAX };
    EXPECT_EQ(summarize(line(atLimit) + line(report("small", 2, 1, 1)) + line(atLimit)), 0);
    EXPECT_EQ(m_log.lines().at(0), "⚠️ 2 行的计数相加超出 64 位整数，已跳过: 第 2, 3 行");
    EXPECT_EQ(m_log.lines().at(1), "=== 测试汇总 (1 篇文章) ===");
    EXPECT_EQ(m_log.lines().at(2), "段落: 9223372036854775807, 字符: 9223372036854775806");
    EXPECT_EQ(m_log.lines().at(3), "检查: 9223372036854775807, 通过: 9223372036854775807, 失败: 0");
    EXPECT_EQ(m_log.lines().at(4), "通过率: 100.0%");
    EXPECT_TRUE(m_log.contains("  geometryError: 9223372036854775807"));
    EXPECT_EQ(m_log.lines().back(), "  ✅ big — 9223372036854775807/9223372036854775807");

    m_log.clear();
    std::string beyond = line(report("over", 1, 1, 0));
    beyond.replace(beyond.find("\"paragraphCount\":0"), 18, "\"paragraphCount\":9223372036854775808");
    EXPECT_EQ(summarize(beyond + line(report("kept", 1, 1, 0))), 0);
    EXPECT_EQ(m_log.lines().at(0), "⚠️ 1 行含超出 64 位整数的计数，已跳过: 第 1 行");
    EXPECT_EQ(m_log.lines().at(1), "=== 测试汇总 (1 篇文章) ===");
    EXPECT_EQ(m_log.lines().back(), "  ✅ kept — 1/1");
}

// A report's passed and failed checks are its checks: one whose counts cannot be that (they
// overflow when added, or make more or fewer than its total) would print a pass rate beyond
// 100 %, and is named instead.
TEST_F(TestSummaryCommand, AReportWhoseChecksDoNotAddUpIsSkippedAndNamed)
{
    const std::string contents = line(report("fine", 6, 2, 4)) + line(report("wrapped", 6, INT64_MAX, 4))
        + line(report("more passed than checked", 6, 7, 0)) + line(report("fewer", 6, 1, 1)) + line(report("also fine", 2, 2, 0));
    EXPECT_EQ(summarize(contents), 0);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> {
                                 "⚠️ 1 行的计数相加超出 64 位整数，已跳过: 第 2 行",
                                 "⚠️ 2 行的通过数与失败数之和不等于检查数，已跳过: 第 3, 4 行",
                                 "=== 测试汇总 (2 篇文章) ===",
                                 "段落: 0, 字符: 0",
                                 "检查: 8, 通过: 4, 失败: 4",
                                 "通过率: 50.0%",
                                 "\n逐篇结果:",
                                 "  ❌ fine — 2/6",
                                 "  ✅ also fine — 2/2",
                             }));
}

TEST_F(TestSummaryCommand, UsageAndUnreadableFilesEndWithStatusOne)
{
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary" }), 1);
    EXPECT_EQ(m_log.lines(), std::vector<std::string> { "用法: --test-summary <results.jsonl>" });

    m_log.clear();
    const std::string missing = (m_scratch / "missing.jsonl").string();
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", missing }), 1);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> { "❌ 无法读取文件: " + missing,
                                                         "   cannot open " + missing + ": No such file or directory" }));
}

// A crash during an append can cut a line inside a character: that line is lost, and said to be,
// but the reports before it and those appended after it are still summarised.
TEST_F(TestSummaryCommand, ALineThatIsNotUtf8IsSkippedAndNamedAndTheRestSummarised)
{
    std::string cut = line(report("慢慢走，欣赏啊", 4, 4, 0));
    cut.resize(cut.find("欣") + 2); // two of the three bytes of "欣", and no line feed
    const std::string contents = line(report("第一篇", 2, 1, 1)) + cut + "\n" + line(report("第三篇", 3, 3, 0)) + "\xFF\xFE\n"
        + line(report("第五篇", 1, 1, 0));
    EXPECT_EQ(summarize(contents), 0);
    const std::vector<std::string> lines = m_log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], "⚠️ 2 行不是 UTF-8，已跳过: 第 2, 4 行");
    EXPECT_EQ(lines[1], "=== 测试汇总 (3 篇文章) ===");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
              (std::vector<std::string> { "  ❌ 第一篇 — 1/2", "  ✅ 第三篇 — 3/3", "  ✅ 第五篇 — 1/1" }));

    // Only the first ten are named.
    m_log.clear();
    std::string many;
    for (int i = 0; i < 12; ++i)
        many += "\xC3\n";
    EXPECT_EQ(summarize(many + line(report("kept", 1, 1, 0))), 0);
    EXPECT_EQ(m_log.lines().at(0), "⚠️ 12 行不是 UTF-8，已跳过: 第 1, 2, 3, 4, 5, 6, 7, 8, 9, 10 等 行");
    EXPECT_EQ(m_log.lines().back(), "  ✅ kept — 1/1");
}

TEST_F(TestSummaryCommand, CountsAreNeverNegativeAndTheirLinesAreNamed)
{
    for (const char* key : { "\"paragraphCount\":0", "\"totalCharacters\":0", "\"totalChecks\":1" }) {
        m_log.clear();
        std::string negative = line(report("negative", 1, 1, 0));
        const std::string field = std::string(key).substr(0, std::string(key).find(':') + 1);
        negative.replace(negative.find(key), std::string(key).size(), field + "-9223372036854775808");
        EXPECT_EQ(summarize(line(report("kept", 1, 1, 0)) + negative + "not a report\n" + negative), 0) << key;
        EXPECT_EQ(m_log.lines().at(0), "⚠️ 2 行含负数计数，已跳过: 第 2, 4 行") << key;
        EXPECT_EQ(m_log.lines().at(1), "=== 测试汇总 (1 篇文章) ===") << key;
        EXPECT_EQ(m_log.lines().at(2), "段落: 0, 字符: 0") << key;
        EXPECT_EQ(m_log.lines().back(), "  ✅ kept — 1/1") << key;
    }

    // Reports appended without a line feed between them share a line, which is left out once.
    m_log.clear();
    std::string twice = line(report("negative", 1, 1, 0));
    twice.replace(twice.find("\"passed\":1"), 10, "\"passed\":-1");
    twice.back() = '\r';
    twice += twice;
    twice.back() = '\n';
    EXPECT_EQ(summarize(line(report("kept", 1, 1, 0)) + twice + line(report("also kept", 1, 1, 0))), 0);
    EXPECT_EQ(m_log.lines().at(0), "⚠️ 1 行含负数计数，已跳过: 第 2 行");
    EXPECT_EQ(m_log.lines().at(1), "=== 测试汇总 (2 篇文章) ===");

    // A report with a negative count that is no report for another reason too is skipped unnamed.
    m_log.clear();
    std::string broken = line(report("broken", 1, 1, 0));
    broken.replace(broken.find("\"paragraphCount\":0"), 18, "\"paragraphCount\":-1");
    broken.replace(broken.find("\"timestamp\""), 11, "\"timestamp_\"");
    EXPECT_EQ(summarize(broken), 0);
    EXPECT_EQ(m_log.lines().at(0), "=== 测试汇总 (0 篇文章) ===");
}

// A count is a whole number: a report that gives one with a fraction cannot be summed, and its
// line is named, once, as the lines with negative counts are; a line holding both is named in both.
TEST_F(TestSummaryCommand, ALineWithFractionalCountsIsSkippedAndNamed)
{
    HighlightTestReport tested = report("tested", 2, 1, 1);
    ParagraphTestResult paragraph;
    paragraph.checks = { { "coverage", false, "" } };
    tested.paragraphs = { paragraph };
    const std::string whole = line(tested);
    auto with = [&](const std::string& from, const std::string& to) {
        std::string changed = whole;
        changed.replace(changed.find(from), from.size(), to);
        return changed;
    };
    const std::string halfChecked = with("\"totalChecks\":2", "\"totalChecks\":4.5");
    const std::string halfIndexed = with("\"index\":0", "\"index\":0.5");
    const std::string wholeFloat = with("\"paragraphCount\":0", "\"paragraphCount\":4.0");
    std::string fractionalAndNegative = with("\"failed\":1", "\"failed\":1.5");
    fractionalAndNegative.back() = '\r';
    fractionalAndNegative += with("\"totalCharacters\":0", "\"totalCharacters\":-1");
    EXPECT_EQ(summarize(whole + halfChecked + halfIndexed + wholeFloat + fractionalAndNegative + whole), 0);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> {
                                 "⚠️ 1 行含负数计数，已跳过: 第 5 行",
                                 "⚠️ 4 行含小数计数，已跳过: 第 2, 3, 4, 5 行",
                                 "=== 测试汇总 (2 篇文章) ===",
                                 "段落: 0, 字符: 0",
                                 "检查: 4, 通过: 2, 失败: 2",
                                 "通过率: 50.0%",
                                 "\n失败分布:",
                                 "  coverage: 2",
                                 "\n逐篇结果:",
                                 "  ❌ tested — 1/2",
                                 "  ❌ tested — 1/2",
                             }));
}

// What cannot be read whole is refused without waiting on it: a directory, a device, and a file
// beyond the limit, which the message names.
TEST_F(TestSummaryCommand, DirectoriesDevicesAndFilesTooLargeAreRefused)
{
    const std::string directory = m_scratch.path().string();
    for (const auto& [path, reason] : { std::pair<std::string, std::string> { "/dev/zero", "/dev/zero is a device, not a file" },
                                        std::pair<std::string, std::string> { directory, directory + " is a directory, not a file" } }) {
        m_log.clear();
        EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", path }), 1) << path;
        EXPECT_EQ(m_log.lines(), (std::vector<std::string> { "❌ 无法读取文件: " + path, "   " + reason }));
    }

    // Sparse: it takes no room on the disk.
    m_log.clear();
    test::writeFile(m_path, "");
    std::filesystem::resize_file(m_path, Files::maxInputFileBytes + 1);
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", m_path.string() }), 1);
    EXPECT_EQ(m_log.lines(), (std::vector<std::string> { "❌ 无法读取文件: " + m_path.string(),
                                                         "   " + m_path.string() + " is larger than 1 GiB, the most an input file may hold" }));
}

// Standard input and pipes hand a results file over as well as its path does.
TEST_F(TestSummaryCommand, ResultsComingThroughAPipeAreSummarised)
{
    const std::string results = line(report("piped", 3, 2, 1)) + line(report("second", 1, 1, 0));
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_EQ(::write(ends[1], results.data(), results.size()), static_cast<ssize_t>(results.size()));
    ::close(ends[1]);
    const std::string piped = "/dev/fd/" + std::to_string(ends[0]);
    EXPECT_EQ(CLIRouter::routeTestSummary({ "lorvantine", "--test-summary", piped }), 0);
    ::close(ends[0]);
    const std::vector<std::string> lines = m_log.lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines.front(), "=== 测试汇总 (2 篇文章) ===");
    EXPECT_EQ(std::vector<std::string>(lines.end() - 2, lines.end()), (std::vector<std::string> { "  ❌ piped — 2/3", "  ✅ second — 1/1" }));
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
