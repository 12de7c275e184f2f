#pragma once

#include "CLI/CLIRouter.h"
#include "Core/HighlightTestReport.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The command-line face of the highlight geometry tests ("--test-highlight"): captures a document
// from another application's window, runs the highlight tester on it, prints an account on
// standard error and stores the report. Three modes: single (the document open now, once), watch
// (every 2 s, each newly opened document, until Ctrl+C) and batch (every URL of a list opened in
// Safari, compared with the page's own text, then closed; summaries, a failure report, metrics).
//
// Runs on the main thread from start to end with blocking sleeps on the installed clock and
// waits for the programs it starts. Only watch mode can be interrupted: Ctrl+C reaches it through
// the main queue, which it serves between rounds, so it never cuts a results line short.
namespace HighlightTestHarness {

struct Options {
    std::optional<std::string> batch;      // the URL list
    bool watch = false;
    std::optional<std::string> app;        // bundle identifier; none: the WeChat article
    std::optional<std::string> append;     // results file
    std::optional<int64_t> round;
    std::optional<std::string> roundText; // as given, when "--round" is there at all ("" without a value)
    std::optional<std::string> resultsDir;
    bool failReport = false;

    static Options parse(const CLIRouter::Arguments& args);
};

enum class Mode { single, watch, batch };
Mode mode(const Options& options);

// A whole decimal Int with an optional sign; anything else is none.
std::optional<int64_t> parseRound(const std::string& text);

// Where a batch writes its results: the round file, the "--append" file, or beside the list
// ("urls.txt" → "urls-results.jsonl"; a list without a trailing ".txt" gets "-results.jsonl"
// added, so the results never go into the list itself).
std::string batchResultsPath(const Options& options, const std::string& listPath);

// The time the reports and metrics carry, and what a test does between watch rounds.
struct Environment {
    std::function<std::chrono::system_clock::time_point()> wallClock; // empty: the system clock
    // Called on the main thread before each watch round looks at the screen.
    std::function<void()> onWatchRound;

    std::string now() const; // ISO 8601, UTC, to the second, "Z"
};
const Environment& commandEnvironment();
// Installs what "--test-highlight" runs with (tests); answers the previous one.
Environment installCommandEnvironment(Environment environment);

int runSingle(const Options& options, const Environment& environment);
int runWatch(const Options& options, const Environment& environment);
int runBatch(const Options& options, const Environment& environment);

// --- What the modes share ---

struct CapturedDocument {
    std::string title;
    std::vector<ArticleParagraph> paragraphs;
    AXElement window;
};
// With `app`: the document source's session, else the article capture of that application;
// without: the WeChat article.
std::optional<CapturedDocument> capture(const std::optional<std::string>& app);

// Appends results lines, warning once when an append fails. A line that cannot be appended is
// written to standard output instead, so that no report is lost.
class ResultsFile {
public:
    explicit ResultsFile(std::string path) : m_path(std::move(path)) { }
    const std::string& path() const { return m_path; }
    // One compact line; a report that cannot be encoded is skipped without a word. False when
    // the line went to standard output instead of the file.
    bool append(const HighlightTestReport& report);
    bool appendText(const std::string& text);
    // Whether an append has failed.
    bool failed() const { return m_warned; }

private:
    std::string m_path;
    bool m_warned = false;
};

// Check name → failed results, over every paragraph's own and sentences' checks.
std::map<std::string, int64_t> failureDistribution(const std::vector<HighlightTestReport>& reports);
// Highest count first, equal counts by name.
std::vector<std::pair<std::string, int64_t>> byCountThenName(const std::map<std::string, int64_t>& counts);
// "  ✅ checks=… passed=… failed=…" and, with failures, the names that failed.
void printCheckLine(const HighlightTestReport& report);
// The failed checks of one paragraph: its own, then its sentences' in order.
std::vector<CheckResult> failedChecks(const ParagraphTestResult& paragraph);

// The failure report's JSON (pretty, sorted keys) and one metrics line (compact, sorted keys).
std::string failureReportJson(const std::vector<HighlightTestReport>& reports, int64_t round);
std::string metricsLine(const std::vector<HighlightTestReport>& reports, int64_t round, const std::string& timestamp);

} // namespace HighlightTestHarness
} // namespace lorvantine
