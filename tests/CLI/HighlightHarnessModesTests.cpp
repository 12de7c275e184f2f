#include "CLI/HighlightHarnessTest.h"

#include "CLI/SafariTabs.h"
#include "Core/HighlightTestReportJson.h"

#include <csignal>
#include <gtest/gtest.h>

namespace lorvantine {
namespace {

TEST_F(HighlightHarnessTest, SingleModePrintsThePrettyReportOrAppendsOneCompactLine)
{
    ASSERT_TRUE(HighlightTestHarness::capture(std::nullopt) == std::nullopt);
    EXPECT_EQ(route({ "--test-highlight" }), 1);
    EXPECT_EQ(log.lines().back(), "❌ 找不到可读文档（请先打开一篇文章或文档）");

    ASSERT_TRUE(SafariTabs::open("https://example.com/short-walks"));
    log.clear();
    EXPECT_EQ(route({ "--test-highlight", "--app", "com.apple.Safari" }), 0);
    EXPECT_TRUE(log.contains("📖 Testing: Short Walks — "));
    EXPECT_TRUE(log.contains("\n=== Paragraph Diagnostics ==="));
    EXPECT_TRUE(log.contains("\n=== Highlight Test Report ==="));
    auto printed = HighlightTestReportJson::decode(standardOutput);
    ASSERT_TRUE(printed) << standardOutput;
    EXPECT_EQ(printed->articleTitle, "Short Walks");
    EXPECT_FALSE(printed->url);
    EXPECT_EQ(standardOutput, *HighlightTestReportJson::prettyJson(*printed) + "\n");

    // Appended, the same report is one line of the results file, as the summary reads them.
    log.clear();
    const std::string results = (scratch / "single.jsonl").string();
    EXPECT_EQ(route({ "--test-highlight", "--app", "com.apple.Safari", "--append", results }), 0);
    EXPECT_EQ(route({ "--test-highlight", "--app", "com.apple.Safari", "--append", results }), 0);
    EXPECT_EQ(standardOutput, "");
    EXPECT_EQ(log.linesContaining("结果已追加到 " + results).size(), 2u);
    EXPECT_EQ(test::readFile(results), *HighlightTestReportJson::jsonLine(*printed) + *HighlightTestReportJson::jsonLine(*printed));
    log.clear();
    EXPECT_EQ(route({ "--test-summary", results }), 0);
    EXPECT_TRUE(log.contains("=== 测试汇总 (2 篇文章) ==="));

    // An append that fails loses nothing: the line goes to standard output, and the status says so.
    log.clear();
    const std::string nowhere = (scratch / "no-such-folder" / "single.jsonl").string();
    EXPECT_EQ(route({ "--test-highlight", "--app", "com.apple.Safari", "--append", nowhere }), 1);
    EXPECT_EQ(standardOutput, *HighlightTestReportJson::jsonLine(*printed));
    EXPECT_EQ(log.linesContaining("⚠️ 无法写入结果文件").size(), 1u);
    EXPECT_FALSE(log.contains("结果已追加到"));
}

TEST_F(HighlightHarnessTest, WatchModeTestsEachNewDocumentOnceAndEndsWithStatusZeroOnCtrlC)
{
    int round = 0;
    onWatchRound([&] {
        switch (++round) {
        case 2: SafariTabs::open("https://example.com/short-walks"); break;
        case 4: SafariTabs::open("https://example.com/quiet-art"); break;
        case 6: SafariTabs::closeFrontTab(SafariTabs::closeTabScript()); break; // back to Short Walks
        case 8: std::raise(SIGINT); break;
        default: break;
        }
    });
    const std::string results = (scratch / "watch.jsonl").string();
    EXPECT_EQ(route({ "--test-highlight", "--watch", "--app", "com.apple.Safari", "--append", results }), 0);

    EXPECT_GE(round, 8);
    EXPECT_EQ(log.linesContaining("\n[退出监测]").size(), 1u);
    EXPECT_TRUE(log.contains("👀 监测模式：请在 com.apple.Safari 中打开不同文档，自动检测并测试"));
    EXPECT_TRUE(log.contains("   结果保存到 " + results));
    const auto tested = log.linesContaining("] 📖 ");
    ASSERT_EQ(tested.size(), 3u);
    EXPECT_TRUE(tested[0].starts_with("[1] 📖 Short Walks — "));
    EXPECT_TRUE(tested[1].starts_with("[2] 📖 The Quiet Art of Reading Aloud"));
    EXPECT_TRUE(tested[2].starts_with("[3] 📖 Short Walks — "));
    std::istringstream lines(test::readFile(results));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count)
        EXPECT_TRUE(HighlightTestReportJson::decode(line)) << line;
    EXPECT_EQ(count, 3);
    // Two seconds between rounds, on the installed clock.
    EXPECT_GE(elapsed(), 2.0 * 8);
}

TEST_F(HighlightHarnessTest, WatchModeKeepsTheReportsItCannotAppendAndEndsWithOne)
{
    int round = 0;
    onWatchRound([&] {
        if (++round == 2)
            SafariTabs::open("https://example.com/short-walks");
        else if (round == 4)
            std::raise(SIGINT);
    });
    const std::string nowhere = (scratch / "no-such-folder" / "watch.jsonl").string();
    EXPECT_EQ(route({ "--test-highlight", "--watch", "--app", "com.apple.Safari", "--append", nowhere }), 1);
    EXPECT_EQ(log.linesContaining("⚠️ 无法写入结果文件").size(), 1u);
    auto kept = HighlightTestReportJson::decode(standardOutput);
    ASSERT_TRUE(kept) << standardOutput;
    EXPECT_EQ(kept->articleTitle, "Short Walks");
}

TEST_F(HighlightHarnessTest, ValidateUrlsPrintsExactlyTheValidUrls)
{
    test::writeFile(scratch / "urls.txt", "# candidates\nhttps://example.com/quiet-art\n-a Preview\nhttps://example.com/moved\n"
                                          "\nhttps://example.com/gone\nhttps://example.com/man-man-zou\n");
    EXPECT_EQ(route({ "--validate-urls", (scratch / "urls.txt").string() }), 0);
    // Safari's error page holds a heading and a line of text: two paragraphs, which is what the
    // rule takes for an article.
    EXPECT_EQ(standardOutput, "https://example.com/quiet-art\nhttps://example.com/gone\nhttps://example.com/man-man-zou\n");
    EXPECT_TRUE(log.contains("🔍 验证 4 个 URL..."));
    EXPECT_TRUE(log.contains("[1/4] https://example.com/quiet-art... ✅ 15 段"));
    EXPECT_TRUE(log.contains("[2/4] https://example.com/moved... ❌ 无法提取"));
    EXPECT_TRUE(log.contains("有效: 3/4"));
    EXPECT_TRUE(log.contains("无效: 1"));
    EXPECT_EQ(log.linesContaining("https://example.com/moved"),
              (std::vector<std::string> { "[2/4] https://example.com/moved... ❌ 无法提取", "  https://example.com/moved" }));
    EXPECT_TRUE(log.contains("\n无效 URL:"));
    // The "-" line never reaches open; every tab opened is closed, the editor's window kept.
    EXPECT_EQ(processRuns("/usr/bin/open").size(), 4u);
    EXPECT_TRUE(desktop->windowNumbers(*desktop->pidOf("com.apple.Safari")).empty());
    EXPECT_EQ(desktop->windowNumbers(*desktop->pidOf("com.example.Jotter")).size(), 1u);

    log.clear();
    EXPECT_EQ(route({ "--validate-urls" }), 1);
    EXPECT_EQ(log.lines().back(), "用法: --validate-urls <manifest.txt>");
    EXPECT_EQ(route({ "--validate-urls", (scratch / "absent.txt").string() }), 1);
    EXPECT_TRUE(log.contains("❌ 无法读取文件: " + (scratch / "absent.txt").string()));
}

} // namespace
} // namespace lorvantine
