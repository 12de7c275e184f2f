#include "CLI/HighlightTestHarness.h"

#include "Support/Format.h"
#include "Support/JsonValue.h"
#include "Support/JsonWriter.h"

#include <algorithm>
#include <cstdlib>

namespace lorvantine::HighlightTestHarness {

namespace {

// The failure report's own grouping of check names, which is not the report records' categories:
// each file keeps the grouping its readers know.
const std::vector<std::pair<std::string, std::vector<std::string>>>& failureReportCategories()
{
    static const std::vector<std::pair<std::string, std::vector<std::string>>> categories {
        { "frameTooTall", { "first_char_top_gap", "frame_height_ratio" } },
        { "textIncomplete", { "text_completeness" } },
        { "megaParagraph", { "mega_paragraph" } },
        { "geometryError", { "bounds_available", "containment", "no_vertical_gap" } },
        { "frameTextMisaligned", { "frame_text_alignment" } },
    };
    return categories;
}

// "%.4f" read back as a number.
double fourDecimals(double value) { return std::strtod(Format::fixed(value, 4).c_str(), nullptr); }

} // namespace

std::map<std::string, int64_t> failureDistribution(const std::vector<HighlightTestReport>& reports)
{
    std::map<std::string, int64_t> counts;
    for (const HighlightTestReport& report : reports)
        for (const ParagraphTestResult& paragraph : report.paragraphs)
            for (const CheckResult& check : failedChecks(paragraph))
                ++counts[check.name];
    return counts;
}

std::vector<std::pair<std::string, int64_t>> byCountThenName(const std::map<std::string, int64_t>& counts)
{
    std::vector<std::pair<std::string, int64_t>> ordered(counts.begin(), counts.end());
    // The map is in name order already; a stable sort by count keeps it among equal counts.
    std::stable_sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    return ordered;
}

std::string failureReportJson(const std::vector<HighlightTestReport>& reports, int64_t round)
{
    const auto distribution = failureDistribution(reports);
    JsonValue byCategory = JsonValue::object();
    for (const auto& [category, names] : failureReportCategories()) {
        int64_t sum = 0;
        for (const std::string& name : names)
            if (auto it = distribution.find(name); it != distribution.end())
                sum += it->second;
        byCategory.set(category, sum);
    }
    JsonValue paragraphs = JsonValue::array();
    int64_t failedCount = 0;
    for (const HighlightTestReport& report : reports) {
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            const auto failed = failedChecks(paragraph);
            if (failed.empty())
                continue;
            JsonValue checks = JsonValue::array();
            for (const CheckResult& check : failed)
                checks.append(JsonValue::object({ { "name", check.name }, { "detail", check.detail } }));
            ++failedCount;
            paragraphs.append(JsonValue::object({
                { "title", report.articleTitle },
                { "url", report.url.value_or("") },
                { "paraIndex", paragraph.index },
                { "role", paragraph.role },
                { "charCount", paragraph.charCount },
                { "textPreview", paragraph.textPreview },
                { "failedChecks", std::move(checks) },
            }));
        }
    }
    JsonValue root = JsonValue::object({
        { "round", round },
        { "totalArticles", static_cast<int64_t>(reports.size()) },
        { "totalFailedParagraphs", failedCount },
        { "failsByCategory", std::move(byCategory) },
        { "failedParagraphs", std::move(paragraphs) },
    });
    // Only numbers from the tester's own measurements are written, and those are finite.
    return JsonWriter::serialize(root, JsonWriter::Style::pretty, JsonWriter::KeyOrder::sorted).valueOr("{}");
}

std::string metricsLine(const std::vector<HighlightTestReport>& reports, int64_t round, const std::string& timestamp)
{
    int64_t total = 0, passed = 0;
    double coverage = 0, noise = 0;
    int64_t withContent = 0;
    for (const HighlightTestReport& report : reports) {
        total += report.summary.totalChecks;
        passed += report.summary.passed;
        if (report.content) {
            ++withContent;
            coverage += report.content->coverage;
            noise += report.content->noiseRatio;
        }
    }
    JsonValue failures = JsonValue::object();
    for (const auto& [name, count] : failureDistribution(reports))
        failures.set(name, count);
    const double contentCount = static_cast<double>(withContent);
    JsonValue root = JsonValue::object({
        { "round", round },
        { "articles_tested", static_cast<int64_t>(reports.size()) },
        { "total_checks", total },
        { "pass_rate", total == 0 ? 0.0 : fourDecimals(static_cast<double>(passed) / static_cast<double>(total)) },
        { "failures_by_type", std::move(failures) },
        { "content_coverage_avg", withContent == 0 ? 0.0 : fourDecimals(coverage / contentCount) },
        { "content_noise_avg", withContent == 0 ? 0.0 : fourDecimals(noise / contentCount) },
        { "timestamp", timestamp },
    });
    return JsonWriter::serialize(root, JsonWriter::Style::compact, JsonWriter::KeyOrder::sorted).valueOr("{}");
}

} // namespace lorvantine::HighlightTestHarness
