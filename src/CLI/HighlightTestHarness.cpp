#include "CLI/HighlightTestHarness.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/ArticleParser.h"
#include "Core/HighlightTestReportJson.h"
#include "Core/HighlightTester.h"
#include "Documents/DocumentSession.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Support/Files.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace lorvantine::HighlightTestHarness {

namespace {

std::mutex s_harnessEnvironmentMutex;
Environment& harnessEnvironment()
{
    static Environment environment;
    return environment;
}

std::string wholeNumber(double value)
{
    if (!std::isfinite(value))
        return "0";
    return std::to_string(static_cast<long long>(std::trunc(value)));
}

// One line of single mode's paragraph diagnostics.
std::string diagnosticLine(const ArticleParagraph& p)
{
    std::string line = "  para[" + std::to_string(p.index) + "] frame=(" + wholeNumber(p.frame.origin.x) + ","
        + wholeNumber(p.frame.origin.y) + " " + wholeNumber(p.frame.size.width) + "×" + wholeNumber(p.frame.size.height) + ")";
    if (!p.element) {
        line += " element=nil";
    } else {
        const auto position = AXReader::position(*p.element);
        const auto size = AXReader::size(*p.element);
        if (!position || !size) {
            line += " elPos=FAIL";
        } else {
            line += " elPos=(" + wholeNumber(position->x) + "," + wholeNumber(position->y) + ") elSz=(" + wholeNumber(size->width)
                + "×" + wholeNumber(size->height) + ")";
            const double tightY = p.tightFrameYOffset.value_or(0);
            const double dx = position->x - p.frame.origin.x;
            const double dy = position->y - (p.frame.origin.y - tightY);
            if (std::abs(dx) <= 1 && std::abs(dy) <= 1)
                line += " ✓ tickFollow: delta≈0";
            else
                line += " ⚠️ tickFollow: scrollDx=" + wholeNumber(dx) + " scrollDy=" + wholeNumber(dy);
        }
    }
    if (p.tightFrameYOffset)
        line += " tightY=" + wholeNumber(*p.tightFrameYOffset);
    if (p.tightFrameHeight)
        line += " tightH=" + wholeNumber(*p.tightFrameHeight);
    if (p.nativeCharOffset)
        line += " nativeOff=" + std::to_string(*p.nativeCharOffset);
    line += " \"" + Text::characterPrefix(p.text, 40) + "\"";
    return line;
}

} // namespace

Options Options::parse(const CLIRouter::Arguments& args)
{
    Options options;
    options.batch = CLIRouter::value(args, "--batch");
    options.watch = CLIRouter::hasFlag(args, "--watch");
    options.app = CLIRouter::value(args, "--app");
    options.append = CLIRouter::value(args, "--append");
    if (CLIRouter::hasFlag(args, "--round"))
        options.roundText = CLIRouter::value(args, "--round").value_or("");
    if (options.roundText)
        options.round = parseRound(*options.roundText);
    options.resultsDir = CLIRouter::value(args, "--results-dir");
    options.failReport = CLIRouter::hasFlag(args, "--fail-report");
    return options;
}

Mode mode(const Options& options)
{
    if (options.batch)
        return Mode::batch;
    return options.watch ? Mode::watch : Mode::single;
}

std::optional<int64_t> parseRound(const std::string& text) { return Text::integerValue(text); }

std::string batchResultsPath(const Options& options, const std::string& listPath)
{
    if (options.resultsDir && options.round)
        return *options.resultsDir + "/round-" + std::to_string(*options.round) + ".jsonl";
    if (options.append)
        return *options.append;
    // Only a trailing ".txt" names the list's kind: one inside a folder name is part of the folder.
    if (listPath.ends_with(".txt"))
        return listPath.substr(0, listPath.size() - 4) + "-results.jsonl";
    return listPath + "-results.jsonl";
}

std::string Environment::now() const
{
    const auto time = wallClock ? wallClock() : std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

const Environment& commandEnvironment()
{
    std::lock_guard lock(s_harnessEnvironmentMutex);
    return harnessEnvironment();
}

Environment installCommandEnvironment(Environment environment)
{
    std::lock_guard lock(s_harnessEnvironmentMutex);
    std::swap(harnessEnvironment(), environment);
    return environment;
}

std::optional<CapturedDocument> capture(const std::optional<std::string>& app)
{
    if (app) {
        if (auto session = DocumentSourceRegistry::detect(*app)) {
            CapturedDocument document { session->title(), {}, session->windowElement() };
            for (const ReadableParagraph& paragraph : session->paragraphs())
                document.paragraphs.push_back(paragraph.toArticleParagraph());
            return document;
        }
    }
    auto article = ArticleParser::captureArticle(app);
    if (!article)
        return std::nullopt;
    return CapturedDocument { article->title, std::move(article->paragraphs), article->window };
}

bool ResultsFile::append(const HighlightTestReport& report)
{
    auto line = HighlightTestReportJson::jsonLine(report);
    if (!line)
        return true;
    // The encoded line ends with its line feed; the append adds its own.
    std::string text = std::move(*line);
    if (!text.empty() && text.back() == '\n')
        text.pop_back();
    return appendText(text);
}

bool ResultsFile::appendText(const std::string& text)
{
    auto written = Files::appendLine(m_path, text);
    if (written)
        return true;
    if (!m_warned) {
        m_warned = true;
        Log::line("⚠️ 无法写入结果文件: " + written.error().message + "（结果改写到标准输出）");
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputc('\n', stdout);
    return false;
}

std::vector<CheckResult> failedChecks(const ParagraphTestResult& paragraph)
{
    std::vector<CheckResult> failed;
    for (const CheckResult& check : paragraph.checks)
        if (!check.passed)
            failed.push_back(check);
    for (const SentenceTestResult& sentence : paragraph.sentences)
        for (const CheckResult& check : sentence.checks)
            if (!check.passed)
                failed.push_back(check);
    return failed;
}

void printCheckLine(const HighlightTestReport& report)
{
    Log::line("  " + std::string(report.summary.failed == 0 ? "✅" : "❌") + " checks=" + std::to_string(report.summary.totalChecks)
              + " passed=" + std::to_string(report.summary.passed) + " failed=" + std::to_string(report.summary.failed));
    if (!report.summary.failedCheckNames.empty())
        Log::line("     failed: " + Text::joined(report.summary.failedCheckNames, ", "));
}

int runSingle(const Options& options, const Environment& environment)
{
    auto document = capture(options.app);
    if (!document) {
        Log::line("❌ 找不到可读文档（请先打开一篇文章或文档）");
        return 1;
    }
    Log::line("📖 Testing: " + document->title + " — " + std::to_string(document->paragraphs.size()) + " 段");
    Log::line("\n=== Paragraph Diagnostics ===");
    for (const ArticleParagraph& paragraph : document->paragraphs)
        Log::line(diagnosticLine(paragraph));
    Log::line("");

    HighlightTestReport report = HighlightTester::test(document->paragraphs, document->title);
    report.timestamp = environment.now();

    Log::line("\n=== Highlight Test Report ===");
    Log::line("Paragraphs: " + std::to_string(report.paragraphCount) + ", Chars: " + std::to_string(report.totalCharacters));
    Log::line(std::string(report.summary.failed == 0 ? "✅" : "❌") + " Checks: " + std::to_string(report.summary.totalChecks)
              + " total, " + std::to_string(report.summary.passed) + " passed, " + std::to_string(report.summary.failed)
              + " failed");
    if (!report.summary.failedCheckNames.empty())
        Log::line("Failed types: " + Text::joined(report.summary.failedCheckNames, ", "));
    for (const ParagraphTestResult& paragraph : report.paragraphs) {
        const auto failed = failedChecks(paragraph);
        if (failed.empty())
            continue;
        Log::line("\n  para[" + std::to_string(paragraph.index) + "] " + paragraph.role + " \"" + paragraph.textPreview + "\"");
        for (const CheckResult& check : failed)
            Log::line("    ❌ " + check.name + ": " + check.detail);
    }

    if (options.append) {
        // The results file is JSON Lines, one report a line, whatever the console shows.
        if (!HighlightTestReportJson::jsonLine(report))
            return 0;
        if (!ResultsFile(*options.append).append(report))
            return 1;
        Log::line("\n结果已追加到 " + *options.append);
        return 0;
    }
    auto pretty = HighlightTestReportJson::prettyJson(report);
    if (!pretty)
        return 0;
    std::fwrite(pretty->data(), 1, pretty->size(), stdout);
    std::fputc('\n', stdout);
    return 0;
}

} // namespace lorvantine::HighlightTestHarness
