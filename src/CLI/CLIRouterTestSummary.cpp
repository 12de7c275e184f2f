#include "CLI/CLIRouter.h"

#include "Core/HighlightTestReportJson.h"
#include "Support/Files.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"
#include "Support/Utf8Lines.h"

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

// What the summary keeps of the reports as it decodes them: the sums and one line per report, so
// that a results file costs the memory of its text and little more.
class SummaryTally {
public:
    void add(const HighlightTestReport& report)
    {
        ++m_reports;
        m_paragraphs += report.paragraphCount;
        m_characters += report.totalCharacters;
        m_total += report.summary.totalChecks;
        m_passed += report.summary.passed;
        m_failed += report.summary.failed;
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            countFailures(paragraph.checks);
            for (const SentenceTestResult& sentence : paragraph.sentences)
                countFailures(sentence.checks);
        }
        if (const auto& categories = report.failureCategories) {
            m_categories[0] += categories->frameTooTall;
            m_categories[1] += categories->textIncomplete;
            m_categories[2] += categories->megaParagraph;
            m_categories[3] += categories->geometryError;
            m_categories[4] += categories->frameTextMisaligned;
        }
        if (report.content) {
            ++m_withContent;
            m_coverage += report.content->coverage;
            m_noise += report.content->noiseRatio;
        }
        std::string line = std::string("  ") + (report.summary.failed == 0 ? "✅" : "❌") + " "
            + Text::characterPrefix(report.articleTitle, 40);
        if (report.url)
            line += " (" + Text::characterPrefix(*report.url, 60) + ")";
        line += " — " + std::to_string(report.summary.passed) + "/" + std::to_string(report.summary.totalChecks);
        m_documents.push_back(std::move(line));
    }

    void print() const
    {
        Log::line("=== 测试汇总 (" + std::to_string(m_reports) + " 篇文章) ===");
        Log::line("段落: " + summaryTotalText(m_paragraphs) + ", 字符: " + summaryTotalText(m_characters));
        Log::line("检查: " + summaryTotalText(m_total) + ", 通过: " + summaryTotalText(m_passed) + ", 失败: "
                  + summaryTotalText(m_failed));
        if (m_total >= 1)
            Log::line("通过率: " + percentText(static_cast<double>(m_passed) / static_cast<double>(m_total)));
        printFailureDistribution();
        printFailureCategories();
        printContentAverages();
        Log::line("\n逐篇结果:");
        for (const std::string& line : m_documents)
            Log::line(line);
    }

private:
    void countFailures(const std::vector<CheckResult>& checks)
    {
        for (const CheckResult& check : checks)
            if (!check.passed)
                ++m_failures[check.name];
    }

    void printFailureDistribution() const
    {
        if (m_failures.empty())
            return;
        // The map is in name order, so a stable sort by count leaves equal counts by name.
        std::vector<std::pair<std::string, size_t>> ordered(m_failures.begin(), m_failures.end());
        std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
        Log::line("\n失败分布:");
        for (const auto& [name, count] : ordered)
            Log::line("  " + name + ": " + std::to_string(count));
    }

    void printFailureCategories() const
    {
        static constexpr const char* names[5] = { "frameTooTall", "textIncomplete", "megaParagraph", "geometryError",
                                                  "frameTextMisaligned" };
        SummaryTotal all = 0;
        for (SummaryTotal sum : m_categories)
            all += sum;
        if (all < 1)
            return;
        Log::line("\n问题类别（受影响段落数）:");
        for (size_t i = 0; i < 5; ++i) {
            if (m_categories[i] >= 1)
                Log::line(std::string("  ") + names[i] + ": " + summaryTotalText(m_categories[i]));
        }
    }

    void printContentAverages() const
    {
        if (m_withContent == 0)
            return;
        Log::line("\n内容指标 (" + std::to_string(m_withContent) + " 篇):");
        Log::line("  平均覆盖率: " + percentText(m_coverage / static_cast<double>(m_withContent)));
        Log::line("  平均噪音率: " + percentText(m_noise / static_cast<double>(m_withContent)));
    }

    size_t m_reports = 0;
    SummaryTotal m_paragraphs = 0, m_characters = 0, m_total = 0, m_passed = 0, m_failed = 0;
    std::map<std::string, size_t> m_failures;
    SummaryTotal m_categories[5] = {};
    size_t m_withContent = 0;
    double m_coverage = 0, m_noise = 0;
    std::vector<std::string> m_documents;
};

// The lines that are not UTF-8, by number: the first ten, and how many there are.
void printSkippedLines(const std::vector<size_t>& skipped)
{
    if (skipped.empty())
        return;
    constexpr size_t named = 10;
    std::vector<std::string> numbers;
    for (size_t i = 0; i < std::min(skipped.size(), named); ++i)
        numbers.push_back(std::to_string(skipped[i]));
    Log::line("⚠️ " + std::to_string(skipped.size()) + " 行不是 UTF-8，已跳过: 第 " + Text::joined(numbers, ", ")
              + (skipped.size() > named ? " 等" : "") + " 行");
}

} // namespace

int routeTestSummary(const Arguments& args)
{
    auto path = value(args, "--test-summary");
    if (!path) {
        Log::line("用法: --test-summary <results.jsonl>");
        return 1;
    }
    auto contents = Files::readInputFile(*path);
    if (!contents) {
        Log::line("❌ 无法读取文件: " + *path);
        Log::line("   " + contents.error().message);
        return 1;
    }

    // A line cut inside a character by a crash costs that line alone: the reports around it, and
    // those appended after it, are still summarised.
    const Utf8Lines lines = Utf8Lines::split(*contents);
    printSkippedLines(lines.skipped);
    SummaryTally tally;
    for (std::string_view line : lines.lines) {
        for (std::string_view piece : summaryLines(line)) {
            if (auto report = HighlightTestReportJson::decode(piece))
                tally.add(*report);
        }
    }
    tally.print();
    return 0;
}

} // namespace lorvantine::CLIRouter
