#pragma once

#include "Core/ContentReport.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The verdict of the highlight geometry checks on one document: plain values, copied freely
// between the tester, the harness that stores them and the tools that read results files back.
// Their JSON form is HighlightTestReportJson's.

struct CheckResult {
    std::string name;
    bool passed = false;
    std::string detail;

    friend bool operator==(const CheckResult&, const CheckResult&) = default;
};

// A screen rectangle in global top-left-origin points.
struct RectInfo {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;

    friend bool operator==(const RectInfo&, const RectInfo&) = default;
};

struct SentenceTestResult {
    std::string charRange; // "0..<17"
    std::string textPreview;
    int64_t lineCount = 0;
    std::vector<RectInfo> lineRects;
    std::vector<CheckResult> checks;

    friend bool operator==(const SentenceTestResult&, const SentenceTestResult&) = default;
};

struct ParagraphDiagnostics {
    double frameHeight = 0;
    std::optional<double> expectedHeight;
    std::optional<double> firstCharTopGap;
    std::optional<int64_t> axFullCharCount;
    int64_t textCharCount = 0;

    friend bool operator==(const ParagraphDiagnostics&, const ParagraphDiagnostics&) = default;
};

struct ParagraphTestResult {
    int64_t index = 0;
    std::string textPreview;
    int64_t charCount = 0;
    std::string role;
    int64_t sentenceCount = 0;
    std::vector<SentenceTestResult> sentences;
    std::vector<CheckResult> checks;
    std::optional<ParagraphDiagnostics> diagnostics;

    friend bool operator==(const ParagraphTestResult&, const ParagraphTestResult&) = default;
};

struct CheckBreakdown {
    int64_t passed = 0;
    int64_t failed = 0;

    friend bool operator==(const CheckBreakdown&, const CheckBreakdown&) = default;
};

struct TestSummary {
    int64_t totalChecks = 0;
    int64_t passed = 0;
    int64_t failed = 0;
    std::vector<std::string> failedCheckNames;
    std::optional<std::map<std::string, CheckBreakdown>> checkBreakdown;

    friend bool operator==(const TestSummary&, const TestSummary&) = default;
};

// Paragraphs per failure category; a paragraph counts at most once in each.
struct FailureCategories {
    int64_t frameTooTall = 0;
    int64_t textIncomplete = 0;
    int64_t megaParagraph = 0;
    int64_t geometryError = 0;
    int64_t frameTextMisaligned = 0;
    int64_t textAxMisaligned = 0;

    friend bool operator==(const FailureCategories&, const FailureCategories&) = default;
};

struct HighlightTestReport {
    std::string articleTitle;
    std::optional<std::string> url;
    std::string timestamp; // "2026-12-07T07:16:43Z"
    int64_t paragraphCount = 0;
    int64_t totalCharacters = 0;
    std::vector<ParagraphTestResult> paragraphs;
    TestSummary summary;
    std::optional<ContentValidator::ContentReport> content;
    std::optional<FailureCategories> failureCategories;

    friend bool operator==(const HighlightTestReport&, const HighlightTestReport&) = default;
};

} // namespace lorvantine
