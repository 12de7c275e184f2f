#include "CLI/CLIRouter.h"

#include "CLI/SkippedLines.h"
#include "Core/HighlightTestReportJson.h"
#include "Support/Files.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine::CLIRouter {

namespace {

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

// The longest results line read: a report takes about 1.2 KB a paragraph tested, so a line of
// 16 MiB would be a page of some 14,000 paragraphs, far beyond any article. A longer line is
// skipped as it is read, never held: parsed whole, a line costs ten times its size.
constexpr uint64_t maxResultsLineBytes = uint64_t(16) << 20;

std::string percentText(double ratio) { return Format::fixed(ratio * 100, 1) + "%"; }

// What the summary keeps of the reports as it decodes them: the sums and one line per report, so
// that the memory a results file costs follows its reports, not its length.
class SummaryTally {
public:
    enum class Added { yes, sumsOverflow, countsDisagree };

    // A report whose counts would carry a sum past 64 bits, or whose passed and failed checks do
    // not make up its total, is left out whole: its numbers would make every total a lie.
    Added add(const HighlightTestReport& report)
    {
        const TestSummary& summary = report.summary;
        int64_t checks = 0;
        if (__builtin_add_overflow(summary.passed, summary.failed, &checks))
            return Added::sumsOverflow;
        if (checks != summary.totalChecks)
            return Added::countsDisagree;
        Sums sums = m_sums;
        const auto& categories = report.failureCategories;
        const int64_t addends[] = {
            report.paragraphCount,
            report.totalCharacters,
            summary.totalChecks,
            summary.passed,
            summary.failed,
            categories ? categories->frameTooTall : 0,
            categories ? categories->textIncomplete : 0,
            categories ? categories->megaParagraph : 0,
            categories ? categories->geometryError : 0,
            categories ? categories->frameTextMisaligned : 0,
        };
        for (size_t i = 0; i < Sums::count; ++i) {
            if (__builtin_add_overflow(sums.values[i], addends[i], &sums.values[i]))
                return Added::sumsOverflow;
        }
        m_sums = sums;

        ++m_reports;
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            countFailures(paragraph.checks);
            for (const SentenceTestResult& sentence : paragraph.sentences)
                countFailures(sentence.checks);
        }
        if (report.content) {
            ++m_withContent;
            m_coverage += report.content->coverage;
            m_noise += report.content->noiseRatio;
        }
        std::string line = std::string("  ") + (summary.failed == 0 ? "✅" : "❌") + " " + Text::characterPrefix(report.articleTitle, 40);
        if (report.url)
            line += " (" + Text::characterPrefix(*report.url, 60) + ")";
        line += " — " + std::to_string(summary.passed) + "/" + std::to_string(summary.totalChecks);
        m_documents.push_back(std::move(line));
        return Added::yes;
    }

    void print() const
    {
        const int64_t total = m_sums.values[Sums::checks];
        const int64_t passed = m_sums.values[Sums::passed];
        Log::line("=== 测试汇总 (" + std::to_string(m_reports) + " 篇文章) ===");
        Log::line("段落: " + std::to_string(m_sums.values[Sums::paragraphs]) + ", 字符: " + std::to_string(m_sums.values[Sums::characters]));
        Log::line("检查: " + std::to_string(total) + ", 通过: " + std::to_string(passed) + ", 失败: "
                  + std::to_string(m_sums.values[Sums::failed]));
        if (total >= 1)
            Log::line("通过率: " + percentText(static_cast<double>(passed) / static_cast<double>(total)));
        printFailureDistribution();
        printFailureCategories();
        printContentAverages();
        Log::line("\n逐篇结果:");
        for (const std::string& line : m_documents)
            Log::line(line);
    }

private:
    struct Sums {
        enum { paragraphs, characters, checks, passed, failed, categories, count = categories + 5 };
        int64_t values[count] = {};
    };

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
        const int64_t* sums = m_sums.values + Sums::categories;
        if (std::all_of(sums, sums + 5, [](int64_t sum) { return sum == 0; }))
            return;
        Log::line("\n问题类别（受影响段落数）:");
        for (size_t i = 0; i < 5; ++i) {
            if (sums[i] >= 1)
                Log::line(std::string("  ") + names[i] + ": " + std::to_string(sums[i]));
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
    Sums m_sums;
    std::map<std::string, size_t> m_failures;
    size_t m_withContent = 0;
    double m_coverage = 0, m_noise = 0;
    std::vector<std::string> m_documents;
};

} // namespace

int routeTestSummary(const Arguments& args)
{
    auto path = value(args, "--test-summary");
    if (!path) {
        Log::line("用法: --test-summary <results.jsonl>");
        return 1;
    }

    // A line cut inside a character by a crash costs that line alone: the reports around it, and
    // those appended after it, are still summarised. Every line left out but those that are no
    // report at all is named.
    SkippedLines notUtf8("不是 UTF-8");
    SkippedLines tooLong("长于 " + std::to_string(maxResultsLineBytes >> 20) + " MiB");
    SkippedLines negative("含负数计数");
    SkippedLines fractional("含小数计数");
    SkippedLines oversized("含超出 64 位整数的计数");
    SkippedLines overflowing("的计数相加超出 64 位整数");
    SkippedLines disagreeing("的通过数与失败数之和不等于检查数");
    SummaryTally tally;
    size_t number = 0;
    auto onLine = [&](std::optional<std::string_view> line) {
        ++number;
        if (!line) {
            tooLong.add(number);
            return;
        }
        if (!Text::isValidUtf8(*line)) {
            notUtf8.add(number);
            return;
        }
        for (std::string_view piece : summaryLines(*line)) {
            auto report = HighlightTestReportJson::decode(piece);
            if (!report) {
                using Kind = HighlightTestReportJson::DecodeError::Kind;
                switch (report.error().kind) {
                case Kind::malformed: break;
                case Kind::negativeCount: negative.add(number); break;
                case Kind::fractionalCount: fractional.add(number); break;
                case Kind::oversizedCount: oversized.add(number); break;
                }
                continue;
            }
            switch (tally.add(*report)) {
            case SummaryTally::Added::yes: break;
            case SummaryTally::Added::sumsOverflow: overflowing.add(number); break;
            case SummaryTally::Added::countsDisagree: disagreeing.add(number); break;
            }
        }
    };
    auto read = Files::readInputLines(*path, onLine, Files::maxInputFileBytes, maxResultsLineBytes);
    if (!read) {
        Log::line("❌ 无法读取文件: " + *path);
        Log::line("   " + read.error().message);
        return 1;
    }
    for (const SkippedLines* skipped : { &notUtf8, &tooLong, &negative, &fractional, &oversized, &overflowing, &disagreeing })
        skipped->print();
    tally.print();
    return 0;
}

} // namespace lorvantine::CLIRouter
