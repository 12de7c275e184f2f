#include "Core/HighlightTester.h"

#include "Core/HighlightGeometry.h"
#include "Support/Format.h"

#include <algorithm>
#include <climits>
#include <cmath>

namespace lorvantine::HighlightTester {

namespace {

constexpr double kContainmentSlack = 8.0;
constexpr double kLineGapLimit = 2.0;
constexpr double kWidthCheckIndent = 20.0;
constexpr double kWidthDiffLimit = 40.0;
constexpr int kWidthCheckMinChars = 21;
constexpr double kMinLineWidth = 2.0;
constexpr double kMinLineHeight = 4.0;
constexpr double kMaxLineAspect = 10.0;

std::string sentenceRectText(const Rect& r)
{
    return Format::fixed(r.minX(), 0) + "," + Format::fixed(r.minY(), 0) + " " + Format::fixed(r.width(), 0) + "×"
        + Format::fixed(r.height(), 0);
}

// A rectangle a highlight could be drawn in: not a caret, not a sliver standing on end.
bool isUsableLine(const Rect& r)
{
    return r.width() > 1.0 && r.height() > 0 && r.height() / r.width() < kMaxLineAspect;
}

struct Utf16Span {
    long long location = 0;
    int length = 0;
};

// The sentence's place in the element, in UTF-16 units: its Characters (mapped into the element's
// text when there is a mapping) turned into units of the text they count in, then the base added.
Utf16Span sentenceSpan(CharRange range, const SentenceContext& context)
{
    int lower = context.utf16Offsets(range.lower);
    int upper = context.utf16Offsets(range.upper);
    if (context.axMapping && !context.axMapping->empty()) {
        const std::vector<int>& mapping = *context.axMapping;
        const int m = static_cast<int>(mapping.size()) - 1;
        const int a = std::min(m, range.lower);
        const int b = std::min(m, range.upper - 1);
        if (b >= a && a >= 0) {
            // Separators the element does not hold map to -1; the sentence spans the Characters it does hold.
            int first = a;
            while (first <= b && mapping[static_cast<size_t>(first)] < 0)
                ++first;
            int last = b;
            while (last >= first && mapping[static_cast<size_t>(last)] < 0)
                --last;
            if (first <= last) {
                lower = context.utf16Offsets(mapping[static_cast<size_t>(first)]);
                upper = context.utf16Offsets(mapping[static_cast<size_t>(last)] + 1);
            } else {
                upper = lower = 0;
            }
        }
    }
    return { static_cast<long long>(context.nativeOffset) + lower, std::max(upper - lower, 0) };
}

} // namespace

SentenceTestResult testSentence(CharRange range, const SentenceContext& context)
{
    SentenceTestResult result;
    result.charRange = std::to_string(range.lower) + "..<" + std::to_string(range.upper);
    if (!context.element || !context.paraRect) {
        result.checks.push_back({ "bounds_available", false, "no element or paraRect" });
        return result;
    }
    const Rect& paraRect = *context.paraRect;
    const Utf16Span span = sentenceSpan(range, context);
    std::vector<Rect> lines;
    if (span.location >= 0 && span.location <= INT_MAX)
        lines = HighlightGeometry::computeLineRects(*context.element, static_cast<int>(span.location), span.length,
                                                    paraRect,
                                                    range.upper >= context.paraCharCount
                                                        ? HighlightGeometry::LastInParagraph::yes
                                                        : HighlightGeometry::LastInParagraph::no);
    for (const Rect& line : lines)
        result.lineRects.push_back({ line.minX(), line.minY(), line.width(), line.height() });
    if (lines.empty()) {
        result.checks.push_back({ "bounds_available", false, "computeLineRects returned empty" });
        return result;
    }
    if (std::none_of(lines.begin(), lines.end(), isUsableLine)) {
        result.checks.push_back(
            { "bounds_available", true, "skipped (" + std::to_string(lines.size()) + " degenerate rect(s))" });
        return result;
    }
    result.checks.push_back({ "bounds_available", true, std::to_string(lines.size()) + " line(s)" });
    result.lineCount = static_cast<int64_t>(lines.size());
    const bool widthApplies = context.paraRole != "AXWebArea" && range.lower == 0
        && range.upper - range.lower >= kWidthCheckMinChars;
    for (CheckResult& check : judgeLines(lines, paraRect, widthApplies ? WidthCheck::consider : WidthCheck::skip))
        result.checks.push_back(std::move(check));
    return result;
}

std::vector<CheckResult> judgeLines(const std::vector<Rect>& lines, const Rect& paraRect, WidthCheck widthCheck)
{
    std::vector<CheckResult> checks;
    auto line = [](size_t i) { return "line[" + std::to_string(i) + "]"; };

    bool anyOutside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Rect& r = lines[i];
        if (r.minX() < paraRect.minX() - kContainmentSlack || r.maxX() > paraRect.maxX() + kContainmentSlack
            || r.minY() < paraRect.minY() - kContainmentSlack || r.maxY() > paraRect.maxY() + kContainmentSlack) {
            anyOutside = true;
            checks.push_back({ "containment", false, line(i) + " (" + sentenceRectText(r) + ") outside para ("
                                                         + sentenceRectText(paraRect) + ")" });
        }
    }
    if (!anyOutside)
        checks.push_back({ "containment", true, "ok" });

    if (lines.size() >= 2) {
        bool anyGap = false;
        for (size_t i = 0; i + 1 < lines.size(); ++i) {
            const double gap = std::fabs(lines[i].maxY() - lines[i + 1].minY());
            if (gap > kLineGapLimit) {
                anyGap = true;
                checks.push_back({ "no_vertical_gap", false,
                                   "gap=" + Format::fixed(gap, 1) + "pt between " + line(i) + " and " + line(i + 1) });
            }
        }
        if (!anyGap)
            checks.push_back({ "no_vertical_gap", true, "ok" });
    }

    if (widthCheck == WidthCheck::consider && lines.size() >= 2
        && lines[0].minX() - paraRect.minX() <= kWidthCheckIndent) {
        const double diff = std::fabs(lines[0].width() - paraRect.width());
        if (diff > kWidthDiffLimit)
            checks.push_back({ "width_consistency", false,
                               "line[0] width=" + Format::fixed(lines[0].width(), 1) + " vs para="
                                   + Format::fixed(paraRect.width(), 1) + " diff=" + Format::fixed(diff, 1) });
        else
            checks.push_back({ "width_consistency", true, "ok" });
    }

    bool anyOdd = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].width() < kMinLineWidth || lines[i].height() < kMinLineHeight) {
            anyOdd = true;
            checks.push_back({ "reasonable_dims", false,
                               line(i) + " " + Format::fixed(lines[i].width(), 1) + "×" + Format::fixed(lines[i].height(), 1) });
        }
    }
    if (!anyOdd)
        checks.push_back({ "reasonable_dims", true, "ok" });
    return checks;
}

} // namespace lorvantine::HighlightTester
