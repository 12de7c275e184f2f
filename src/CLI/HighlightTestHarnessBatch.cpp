#include "CLI/HighlightTestHarness.h"

#include "Accessibility/ArticleParser.h"
#include "CLI/ReportFiles.h"
#include "CLI/SafariTabs.h"
#include "CLI/UrlList.h"
#include "Core/ContentValidator.h"
#include "Core/HighlightTester.h"
#include "Platform/Dispatch/Clock.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <filesystem>

namespace lorvantine::HighlightTestHarness {

namespace {

constexpr double kPageLoadWait = 4.0;
constexpr double kTabCloseWait = 1.0;
constexpr double kLowCoverage = 0.8;
constexpr double kPoorCoverage = 0.5;

std::string coveragePercent(double ratio) { return Format::fixed(ratio * 100, 1) + "%"; }

const char* coverageIcon(double coverage) { return coverage < kPoorCoverage ? "❌" : coverage < kLowCoverage ? "⚠️" : "✅"; }

// Tests the page Safari shows now; none when nothing could be captured.
std::optional<HighlightTestReport> testOpenPage(const std::string& url, const Environment& environment)
{
    // The page as the article capture reads it, which the content check measures against the
    // page's own text.
    auto document = ArticleParser::captureArticle(std::string("com.apple.Safari"));
    if (!document) {
        Log::line("  ⚠ 无法提取文章（页面可能未加载完）");
        return std::nullopt;
    }
    Log::line("  📖 " + document->title + " — " + std::to_string(document->paragraphs.size()) + " 段");
    HighlightTestReport report = HighlightTester::test(document->paragraphs, document->title, url);
    report.timestamp = environment.now();
    if (auto truth = ContentValidator::fetchGroundTruth(document->window)) {
        report.content = ContentValidator::validate(document->paragraphs, truth->first, truth->second);
        const auto& content = *report.content;
        Log::line("  " + std::string(coverageIcon(content.coverage)) + " content: coverage=" + coveragePercent(content.coverage)
                  + " noise=" + coveragePercent(content.noiseRatio) + " (GT " + std::to_string(content.groundTruthChars)
                  + "字 → extracted " + std::to_string(content.extractedChars) + "字)");
        if (!content.missingSamples.empty())
            Log::line("     missing: " + Text::characterPrefix(content.missingSamples.front(), 60));
    } else {
        Log::line("  ⚠️ 无法获取页面原文（AXWebArea 未找到）");
    }
    return report;
}

void printBatchSummary(const std::vector<HighlightTestReport>& reports, size_t urlCount)
{
    Log::line("\n=== 批量测试汇总 ===");
    Log::line("文章: " + std::to_string(reports.size()) + "/" + std::to_string(urlCount));
    int64_t total = 0, passed = 0, failed = 0;
    for (const HighlightTestReport& report : reports) {
        total += report.summary.totalChecks;
        passed += report.summary.passed;
        failed += report.summary.failed;
    }
    Log::line("总检查: " + std::to_string(total) + ", 通过: " + std::to_string(passed) + ", 失败: " + std::to_string(failed));
    if (total >= 1)
        Log::line("通过率: " + Format::fixed(static_cast<double>(passed) / static_cast<double>(total) * 100, 1) + "%");
    const auto distribution = failureDistribution(reports);
    if (!distribution.empty()) {
        Log::line("失败分布:");
        for (const auto& [name, count] : byCountThenName(distribution))
            Log::line("  " + name + ": " + std::to_string(count));
    }

    std::vector<const HighlightTestReport*> withContent;
    for (const HighlightTestReport& report : reports)
        if (report.content)
            withContent.push_back(&report);
    if (withContent.empty())
        return;
    double coverage = 0, noise = 0;
    size_t low = 0;
    for (const HighlightTestReport* report : withContent) {
        coverage += report->content->coverage;
        noise += report->content->noiseRatio;
        low += report->content->coverage < kLowCoverage;
    }
    const auto count = static_cast<double>(withContent.size());
    Log::line("\n=== 内容对比汇总 ===");
    Log::line("有效对比: " + std::to_string(withContent.size()) + " 篇");
    Log::line("平均覆盖率: " + coveragePercent(coverage / count));
    Log::line("平均噪音率: " + coveragePercent(noise / count));
    if (low > 0)
        Log::line("低覆盖率 (<80%): " + std::to_string(low) + " 篇");
    Log::line("\n逐篇内容:");
    for (const HighlightTestReport* report : withContent)
        Log::line("  " + std::string(coverageIcon(report->content->coverage)) + " " + Text::characterPrefix(report->articleTitle, 40)
                  + " — coverage=" + coveragePercent(report->content->coverage) + " noise="
                  + coveragePercent(report->content->noiseRatio));
}

} // namespace

int runBatch(const Options& options, const Environment& environment)
{
    const std::string& listPath = *options.batch;
    // The failure report is named after the round: one that is not a number would name it 0.
    if (options.failReport && options.roundText && !options.round) {
        Log::line("❌ --round 须是整数（失败报告以它命名）: \"" + *options.roundText + "\"");
        Log::line("用法: --test-highlight --batch <urls.txt> --results-dir <dir> [--round N] [--fail-report]");
        return 1;
    }
    if (options.resultsDir && (options.round || options.failReport)) {
        std::error_code ignored;
        std::filesystem::create_directories(*options.resultsDir, ignored);
    }
    ResultsFile results(batchResultsPath(options, listPath));

    auto list = UrlList::read(listPath);
    if (!list) {
        Log::line("❌ 无法读取 URL 文件: " + listPath);
        Log::line("   " + list.error());
        return 1;
    }
    const std::vector<std::string>& urls = *list;
    Log::line("📋 批量测试 " + std::to_string(urls.size()) + " 篇文章 → " + results.path());

    std::vector<HighlightTestReport> reports;
    for (size_t i = 0; i < urls.size(); ++i) {
        const std::string& url = urls[i];
        Log::line("\n[" + std::to_string(i + 1) + "/" + std::to_string(urls.size()) + "] " + url);
        // Without a tab of its own the front tab is the user's: test nothing, close nothing.
        if (auto opened = SafariTabs::open(url); !opened) {
            Log::line("  ⚠ 无法打开 URL: " + opened.error());
            continue;
        }
        Clock::current().sleep(seconds(kPageLoadWait));
        if (auto report = testOpenPage(url, environment)) {
            reports.push_back(*report);
            printCheckLine(*report);
            results.append(*report);
        }
        SafariTabs::closeFrontTab(SafariTabs::closeTabScript());
        Clock::current().sleep(seconds(kTabCloseWait));
    }

    printBatchSummary(reports, urls.size());
    // Whatever could not be written is said where it failed, and the run ends with 1.
    bool written = !results.failed();
    if (options.failReport && options.resultsDir) {
        const std::string path = *options.resultsDir + "/round-" + std::to_string(options.round.value_or(0)) + "-failures.json";
        if (ReportFiles::write(path, failureReportJson(reports, options.round.value_or(0))))
            Log::line("\n📄 失败报告: " + path);
        else
            written = false;
    }
    if (options.resultsDir && options.round) {
        const std::string path = *options.resultsDir + "/metrics.jsonl";
        if (ResultsFile(path).appendText(metricsLine(reports, *options.round, environment.now())))
            Log::line("📊 指标已记录: " + path);
        else
            written = false;
    }
    return written ? 0 : 1;
}

} // namespace lorvantine::HighlightTestHarness
