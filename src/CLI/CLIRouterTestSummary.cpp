#include "CLI/CLIRouter.h"

#include "Core/HighlightTestReportJson.h"
#include "Support/Files.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <vector>

namespace lorvantine::CLIRouter {

namespace {

// Every count of a decoded report fits 64 bits; a sum over a file of any length that the reader
// can hold fits 128, so no sum wraps whatever the file says.
__extension__ typedef __int128 SummaryTotal;

std::string summaryTotalText(SummaryTotal value)
{
    if (value == 0)
        return "0";
    const bool negative = value < 0;
    std::string digits;
    while (value != 0) {
        const int digit = static_cast<int>(value % 10);
        digits.push_back(static_cast<char>('0' + (negative ? -digit : digit)));
        value /= 10;
    }
    if (negative)
        digits.push_back('-');
    return std::string(digits.rbegin(), digits.rend());
}

// The line breaks of Unicode text: LF, VT, FF, CR (CR LF being one), NEL, LINE SEPARATOR and
// PARAGRAPH SEPARATOR. Empty pieces are dropped, as the reader skips them anyway.
std::vector<std::string_view> summaryLines(std::string_view text)
{
    std::vector<std::string_view> lines;
    size_t start = 0;
    size_t i = 0;
    auto cut = [&](size_t breakLength) {
        if (i > start)
            lines.push_back(text.substr(start, i - start));
        i += breakLength;
        start = i;
    };
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        const auto next = [&](size_t k) { return i + k < text.size() ? static_cast<unsigned char>(text[i + k]) : 0; };
        if (byte == '\r')
            cut(next(1) == '\n' ? 2 : 1);
        else if (byte == '\n' || byte == '\v' || byte == '\f')
            cut(1);
        else if (byte == 0xC2 && next(1) == 0x85)
            cut(2);
        else if (byte == 0xE2 && next(1) == 0x80 && (next(2) == 0xA8 || next(2) == 0xA9))
            cut(3);
        else
            ++i;
    }
    cut(0);
    return lines;
}

std::string percentText(double ratio) { return Format::fixed(ratio * 100, 1) + "%"; }

void printFailureDistribution(const std::vector<HighlightTestReport>& reports)
{
    std::map<std::string, size_t> counts;
    auto countFailures = [&](const std::vector<CheckResult>& checks) {
        for (const CheckResult& check : checks) {
            if (!check.passed)
                ++counts[check.name];
        }
    };
    for (const HighlightTestReport& report : reports) {
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            countFailures(paragraph.checks);
            for (const SentenceTestResult& sentence : paragraph.sentences)
                countFailures(sentence.checks);
        }
    }
    if (counts.empty())
        return;
    // The map is in name order, so a stable sort by count leaves equal counts by name.
    std::vector<std::pair<std::string, size_t>> ordered(counts.begin(), counts.end());
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    Log::line("\n失败分布:");
    for (const auto& [name, count] : ordered)
        Log::line("  " + name + ": " + std::to_string(count));
}

void printFailureCategories(const std::vector<HighlightTestReport>& reports)
{
    SummaryTotal sums[5] = {};
    for (const HighlightTestReport& report : reports) {
        if (!report.failureCategories)
            continue;
        const FailureCategories& categories = *report.failureCategories;
        sums[0] += categories.frameTooTall;
        sums[1] += categories.textIncomplete;
        sums[2] += categories.megaParagraph;
        sums[3] += categories.geometryError;
        sums[4] += categories.frameTextMisaligned;
    }
    static constexpr const char* names[5] = { "frameTooTall", "textIncomplete", "megaParagraph", "geometryError",
                                              "frameTextMisaligned" };
    if (sums[0] + sums[1] + sums[2] + sums[3] + sums[4] < 1)
        return;
    Log::line("\n问题类别（受影响段落数）:");
    for (size_t i = 0; i < 5; ++i) {
        if (sums[i] >= 1)
            Log::line(std::string("  ") + names[i] + ": " + summaryTotalText(sums[i]));
    }
}

void printContentAverages(const std::vector<HighlightTestReport>& reports)
{
    size_t count = 0;
    double coverage = 0;
    double noise = 0;
    for (const HighlightTestReport& report : reports) {
        if (!report.content)
            continue;
        ++count;
        coverage += report.content->coverage;
        noise += report.content->noiseRatio;
    }
    if (count == 0)
        return;
    Log::line("\n内容指标 (" + std::to_string(count) + " 篇):");
    Log::line("  平均覆盖率: " + percentText(coverage / static_cast<double>(count)));
    Log::line("  平均噪音率: " + percentText(noise / static_cast<double>(count)));
}

} // namespace

int routeTestSummary(const Arguments& args)
{
    auto path = value(args, "--test-summary");
    if (!path) {
        Log::line("用法: --test-summary <results.jsonl>");
        return 1;
    }
    auto contents = Files::readAll(*path);
    if (!contents || !Text::isValidUtf8(*contents)) {
        Log::line("❌ 无法读取文件: " + *path);
        return 1;
    }

    std::vector<HighlightTestReport> reports;
    for (std::string_view line : summaryLines(*contents)) {
        if (auto report = HighlightTestReportJson::decode(line))
            reports.push_back(std::move(*report));
    }

    Log::line("=== 测试汇总 (" + std::to_string(reports.size()) + " 篇文章) ===");
    SummaryTotal paragraphs = 0, characters = 0, total = 0, passed = 0, failed = 0;
    for (const HighlightTestReport& report : reports) {
        paragraphs += report.paragraphCount;
        characters += report.totalCharacters;
        total += report.summary.totalChecks;
        passed += report.summary.passed;
        failed += report.summary.failed;
    }
    Log::line("段落: " + summaryTotalText(paragraphs) + ", 字符: " + summaryTotalText(characters));
    Log::line("检查: " + summaryTotalText(total) + ", 通过: " + summaryTotalText(passed) + ", 失败: "
              + summaryTotalText(failed));
    if (total >= 1)
        Log::line("通过率: " + percentText(static_cast<double>(passed) / static_cast<double>(total)));

    printFailureDistribution(reports);
    printFailureCategories(reports);
    printContentAverages(reports);

    Log::line("\n逐篇结果:");
    for (const HighlightTestReport& report : reports) {
        std::string line = std::string("  ") + (report.summary.failed == 0 ? "✅" : "❌") + " "
            + Text::characterPrefix(report.articleTitle, 40);
        if (report.url)
            line += " (" + Text::characterPrefix(*report.url, 60) + ")";
        line += " — " + std::to_string(report.summary.passed) + "/" + std::to_string(report.summary.totalChecks);
        Log::line(line);
    }
    return 0;
}

} // namespace lorvantine::CLIRouter
