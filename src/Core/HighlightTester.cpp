#include "Core/HighlightTester.h"

#include "Accessibility/AXReader.h"
#include "Core/HighlightGeometry.h"
#include "Documents/DocumentSession.h"
#include "Support/Format.h"
#include "Support/Text.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <ctime>
#include <map>

namespace lorvantine::HighlightTester {

namespace {

constexpr int kDescendantTextMaxDepth = 30;
constexpr double kFirstCharGapLimit = 20.0;
constexpr double kLineHeightFactor = 1.4;
constexpr double kFrameRatioLimit = 2.0;
constexpr int64_t kMissingCharsLimit = 6;
constexpr int kMinorDiffPositions = 2;
constexpr int kMinorDiffLength = 3;
constexpr int kMegaParagraphChars = 2000;
constexpr size_t kMultiLineGroupParts = 5;
constexpr double kAnomalousTop = 5.0;
constexpr double kAnomalousParaTop = 50.0;
constexpr double kFrameSlack = 8.0;

std::string whole(double value) { return Format::fixed(value, 0); }
std::string oneDecimal(double value) { return Format::fixed(value, 1); }

CheckResult passed(std::string name, std::string detail) { return { std::move(name), true, std::move(detail) }; }
CheckResult failed(std::string name, std::string detail) { return { std::move(name), false, std::move(detail) }; }

std::string isoTimestampNow()
{
    const std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
    std::tm utc {};
    gmtime_r(&now, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

// The bounds of the Character at `characterIndex` of the text the context's offsets count in, as
// the element measures it: the Character's own UTF-16 units, after the paragraph's base.
std::optional<Rect> characterBounds(const AXElement& element, const SentenceContext& context, int characterIndex)
{
    const int lower = context.utf16Offsets(characterIndex);
    const int length = std::max(context.utf16Offsets(characterIndex + 1) - lower, 1);
    const long long location = static_cast<long long>(context.nativeOffset) + lower;
    if (location < 0 || location > INT_MAX)
        return std::nullopt;
    return AXReader::boundsForRange(element, static_cast<int>(location), length);
}

// The element-text Character of the paragraph's first or last Character. A separator the element
// does not hold maps to -1; the nearest placed Character stands in for it.
enum class Search { forward, backward };

int mappedCharacter(const SentenceContext& context, int characterIndex, Search direction)
{
    if (!context.axMapping || context.axMapping->empty())
        return characterIndex;
    const std::vector<int>& mapping = *context.axMapping;
    const int last = static_cast<int>(mapping.size()) - 1;
    for (int at = std::clamp(characterIndex, 0, last); at >= 0 && at <= last; at += direction == Search::forward ? 1 : -1) {
        if (mapping[static_cast<size_t>(at)] >= 0)
            return mapping[static_cast<size_t>(at)];
    }
    return characterIndex;
}

std::optional<Rect> paragraphRect(const ArticleParagraph& p, const SentenceContext& context)
{
    if (!p.element)
        return std::nullopt;
    const AXElement& element = *p.element;
    if (p.nativeCharOffset) {
        auto first = characterBounds(element, context, 0);
        if (!first)
            return p.frame;
        return Rect(p.frame.minX(), first->minY(), p.frame.width(), p.frame.height());
    }
    auto position = AXReader::position(element);
    auto size = AXReader::size(element);
    if (!position || !size)
        return std::nullopt;
    const Rect elementRect(*position, *size);
    if (p.tightFrameYOffset && p.tightFrameHeight)
        return Rect(p.frame.minX(), elementRect.minY() + *p.tightFrameYOffset, p.frame.width(), *p.tightFrameHeight);
    return elementRect;
}

std::string charactersBetween(const std::vector<std::string>& characters, int from, int to)
{
    std::string text;
    for (int i = std::max(from, 0); i < std::min(to, static_cast<int>(characters.size())); ++i)
        text += characters[static_cast<size_t>(i)];
    return text;
}

std::optional<CheckResult> textAxAlignment(const AXElement& element, const std::string& text,
                                           const std::vector<std::string>& characters)
{
    std::vector<HighlightGeometry::StaticTextChild> statics;
    HighlightGeometry::collectStaticTextChildren(element, statics, 0);
    std::string joined;
    for (const auto& child : statics)
        joined += child.text;
    if (joined.empty())
        return std::nullopt;
    const int n = static_cast<int>(characters.size());
    if (joined == text)
        return passed("text_ax_alignment", "exact match (" + std::to_string(n) + " chars)");

    const std::vector<std::string> axCharacters = Text::characters(joined);
    const int x = static_cast<int>(axCharacters.size());
    int unmapped = 0;
    std::optional<int> firstDiff;
    for (int i = 0; i < n; ++i) {
        if (i >= x) {
            ++unmapped;
        } else if (characters[static_cast<size_t>(i)] != axCharacters[static_cast<size_t>(i)]) {
            ++unmapped;
            if (!firstDiff)
                firstDiff = i;
        }
    }
    const std::string counts = "para=" + std::to_string(n) + " ax=" + std::to_string(x) + " unmapped=" + std::to_string(unmapped);
    if (unmapped <= kMinorDiffPositions && std::abs(n - x) < kMinorDiffLength)
        return passed("text_ax_alignment", "minor diff (" + counts + ")");
    std::string detail = counts;
    if (firstDiff) {
        const int k = *firstDiff;
        detail += " firstDiff@" + std::to_string(k) + " para=\"" + charactersBetween(characters, k - 5, std::min(k + 10, n))
            + "\" ax=\"" + charactersBetween(axCharacters, k - 5, std::min(k + 10, x)) + "\"";
    } else if (n != x) {
        detail += " length diff";
    }
    return failed("text_ax_alignment", detail);
}

CheckResult megaParagraph(const std::string& text, int n, const std::string& role)
{
    const bool multiLineGroup = role == "AXGroup" && Text::contains(text, "\n")
        && Text::components(text, "\n").size() > kMultiLineGroupParts;
    if (n <= kMegaParagraphChars || multiLineGroup)
        return passed("mega_paragraph", std::to_string(n) + " chars");
    return failed("mega_paragraph", std::to_string(n) + " chars, role=" + role);
}

CheckResult frameTextAlignment(const std::optional<Rect>& first, const std::optional<Rect>& last, const Rect& para)
{
    if (first && first->minY() < kAnomalousTop && para.minY() > kAnomalousParaTop)
        return passed("frame_text_alignment", "skipped: BoundsForRange anomalous (y≈0, para at " + whole(para.minY()) + ")");
    auto outside = [&](const Rect& r) {
        return r.minY() < para.minY() - kFrameSlack || r.maxY() > para.maxY() + kFrameSlack;
    };
    auto span = [&](const Rect& r) {
        return " Y=" + whole(r.minY()) + " outside para [" + whole(para.minY()) + "," + whole(para.maxY()) + "]";
    };
    std::vector<std::string> issues;
    if (first && outside(*first))
        issues.push_back("firstChar" + span(*first));
    if (last && outside(*last))
        issues.push_back("lastChar" + span(*last));
    if (issues.empty())
        return passed("frame_text_alignment", "ok");
    return failed("frame_text_alignment", Text::joined(issues, "; "));
}

CheckResult sentenceCoverage(const std::vector<CharRange>& ranges, int n)
{
    std::vector<bool> covered(static_cast<size_t>(n), false);
    for (const CharRange& range : ranges) {
        for (int i = std::max(range.lower, 0); i < std::min(range.upper, n); ++i)
            covered[static_cast<size_t>(i)] = true;
    }
    const auto uncovered = std::count(covered.begin(), covered.end(), false);
    if (uncovered == 0)
        return passed("coverage", "all " + std::to_string(n) + " chars covered");
    return failed("coverage", std::to_string(uncovered) + "/" + std::to_string(n) + " chars not covered");
}

CheckResult sentenceOverlap(const std::vector<CharRange>& ranges)
{
    for (size_t i = 1; i < ranges.size(); ++i) {
        if (ranges[i].lower < ranges[i - 1].upper)
            return failed("no_sentence_overlap", "sentence ranges overlap");
    }
    return passed("no_sentence_overlap", "ok");
}

// Categories by the names of the checks that feed them.
const std::map<std::string, int64_t FailureCategories::*>& categoryOfCheck()
{
    static const std::map<std::string, int64_t FailureCategories::*> categories {
        { "first_char_top_gap", &FailureCategories::frameTooTall },
        { "frame_height_ratio", &FailureCategories::frameTooTall },
        { "text_completeness", &FailureCategories::textIncomplete },
        { "text_ax_alignment", &FailureCategories::textAxMisaligned },
        { "mega_paragraph", &FailureCategories::megaParagraph },
        { "frame_text_alignment", &FailureCategories::frameTextMisaligned },
        { "bounds_available", &FailureCategories::geometryError },
        { "containment", &FailureCategories::geometryError },
        { "no_vertical_gap", &FailureCategories::geometryError },
        { "width_consistency", &FailureCategories::geometryError },
        { "reasonable_dims", &FailureCategories::geometryError },
    };
    return categories;
}

void summarize(HighlightTestReport& report)
{
    std::map<std::string, CheckBreakdown> breakdown;
    std::set<std::string> failedNames;
    FailureCategories categories;
    TestSummary& summary = report.summary;
    for (const ParagraphTestResult& paragraph : report.paragraphs) {
        std::set<std::string> failedHere;
        auto count = [&](const CheckResult& check) {
            ++summary.totalChecks;
            CheckBreakdown& counts = breakdown[check.name];
            if (check.passed) {
                ++summary.passed;
                ++counts.passed;
            } else {
                ++summary.failed;
                ++counts.failed;
                failedNames.insert(check.name);
                failedHere.insert(check.name);
            }
        };
        for (const CheckResult& check : paragraph.checks)
            count(check);
        for (const SentenceTestResult& sentence : paragraph.sentences) {
            for (const CheckResult& check : sentence.checks)
                count(check);
        }
        // A paragraph counts once per category, however many of its checks feed it.
        std::vector<int64_t FailureCategories::*> hit;
        for (const std::string& name : failedHere) {
            auto it = categoryOfCheck().find(name);
            if (it != categoryOfCheck().end() && std::find(hit.begin(), hit.end(), it->second) == hit.end())
                hit.push_back(it->second);
        }
        for (auto member : hit)
            ++(categories.*member);
    }
    summary.failedCheckNames.assign(failedNames.begin(), failedNames.end());
    summary.checkBreakdown = std::move(breakdown);
    report.failureCategories = categories;
}

} // namespace

const std::set<std::string>& sentenceEnders()
{
    static const std::set<std::string> enders { "。", "！", "？", "；", "…", "\n", "!", "?", ";" };
    return enders;
}

std::vector<CharRange> splitSentences(std::string_view text)
{
    std::vector<CharRange> ranges;
    int start = 0;
    int position = 0;
    for (const std::string& character : Text::characters(text)) {
        ++position;
        if (sentenceEnders().contains(character)) {
            ranges.push_back({ start, position });
            start = position;
        }
    }
    if (start < position)
        ranges.push_back({ start, position });
    return ranges;
}

void collectAllDescendantText(const AXElement& element, std::vector<std::string>& into, int depth)
{
    if (depth > kDescendantTextMaxDepth)
        return;
    if (AXReader::attribute(element, AXName::role) == "AXStaticText") {
        auto value = AXReader::attribute(element, AXName::value);
        if (value && !value->empty())
            into.push_back(*value);
        return;
    }
    for (const AXElement& child : AXReader::rawChildren(element))
        collectAllDescendantText(child, into, depth + 1);
}

ParagraphTestResult testParagraph(const ArticleParagraph& p)
{
    const std::vector<std::string> characters = Text::characters(p.text);
    const int n = static_cast<int>(characters.size());
    ParagraphTestResult result;
    result.index = p.index;
    result.charCount = n;
    result.role = p.role;

    if (p.boundsDisabled) {
        result.textPreview = Text::characterPrefix(p.text, 80);
        result.checks.push_back(passed("bounds_disabled", "BoundsForRange disabled (drop cap page), skipping all bounds tests"));
        return result;
    }
    result.textPreview = Text::characterPrefix(p.text, 60);

    SentenceContext context;
    context.element = p.element;
    context.paraCharCount = n;
    context.paraRole = p.role;
    context.nativeOffset = p.nativeCharOffset.value_or(0);
    context.utf16Offsets = Utf16Offsets(p.text);
    const std::vector<CharRange> ranges = splitSentences(p.text);
    if (p.axFullText) {
        std::vector<int> mapping = HighlightGeometry::buildIndexMapping(p.text, *p.axFullText);
        if (static_cast<int>(mapping.size()) == n) {
            context.axMapping = std::move(mapping);
            context.utf16Offsets = Utf16Offsets(*p.axFullText);
        }
    }
    context.paraRect = paragraphRect(p, context);
    const bool hasMapping = context.axMapping && !context.axMapping->empty();

    ParagraphDiagnostics diagnostics;
    diagnostics.frameHeight = context.paraRect ? context.paraRect->height() : 0;
    diagnostics.textCharCount = n;

    std::optional<Rect> first;
    if (p.element && context.paraRect) {
        const Rect& rect = *context.paraRect;
        first = characterBounds(*p.element, context, hasMapping ? mappedCharacter(context, 0, Search::forward) : 0);
        if (first) {
            const double gap = first->minY() - rect.minY();
            diagnostics.firstCharTopGap = gap;
            if (gap <= kFirstCharGapLimit)
                result.checks.push_back(passed("first_char_top_gap", "gap=" + oneDecimal(gap) + "pt"));
            else
                result.checks.push_back(failed("first_char_top_gap", "gap=" + oneDecimal(gap) + "pt (firstChar.minY="
                                                   + whole(first->minY()) + " para.minY=" + whole(rect.minY()) + ")"));
            if (first->height() > 0) {
                const int perLine = std::max(static_cast<int>(rect.width() / std::max(first->width(), 1.0)), 1);
                const int lines = std::max((n + perLine - 1) / perLine, 1);
                const double expected = first->height() * kLineHeightFactor * lines;
                const double ratio = expected >= 1.0 ? rect.height() / expected : rect.height();
                diagnostics.expectedHeight = expected;
                if (ratio > kFrameRatioLimit)
                    result.checks.push_back(failed("frame_height_ratio", "ratio=" + oneDecimal(ratio) + " (frame="
                                                       + whole(rect.height()) + "pt expected≈" + whole(expected) + "pt)"));
                else
                    result.checks.push_back(passed("frame_height_ratio", "ratio=" + oneDecimal(ratio)));
            }
        }
    }

    if (p.element) {
        std::vector<std::string> pieces;
        collectAllDescendantText(*p.element, pieces);
        const int64_t a = static_cast<int64_t>(Text::characterCount(Text::joined(pieces, "")));
        diagnostics.axFullCharCount = a;
        const std::string counts = "axFull=" + std::to_string(a) + " extracted=" + std::to_string(n);
        if (a - n < kMissingCharsLimit)
            result.checks.push_back(passed("text_completeness", counts));
        else
            result.checks.push_back(failed("text_completeness", "missing " + std::to_string(a - n) + " chars (" + counts + ")"));
        if (auto alignment = textAxAlignment(*p.element, p.text, characters))
            result.checks.push_back(*alignment);
    }

    result.checks.push_back(megaParagraph(p.text, n, p.role));

    if (p.element && context.paraRect && n >= 1) {
        const int lastIndex = hasMapping ? mappedCharacter(context, n - 1, Search::backward) : n - 1;
        const auto last = characterBounds(*p.element, context, lastIndex);
        result.checks.push_back(frameTextAlignment(first, last, *context.paraRect));
    }

    for (const CharRange& range : ranges)
        result.sentences.push_back(testSentence(range, context));
    result.sentenceCount = static_cast<int64_t>(ranges.size());

    result.checks.push_back(sentenceCoverage(ranges, n));
    result.checks.push_back(sentenceOverlap(ranges));
    result.diagnostics = diagnostics;
    return result;
}

HighlightTestReport test(const std::vector<ArticleParagraph>& paragraphs, const std::string& articleTitle,
                         const std::optional<std::string>& url)
{
    HighlightTestReport report;
    report.articleTitle = articleTitle;
    report.url = url;
    report.timestamp = isoTimestampNow();
    report.paragraphCount = static_cast<int64_t>(paragraphs.size());
    for (const ArticleParagraph& paragraph : paragraphs) {
        report.paragraphs.push_back(testParagraph(paragraph));
        report.totalCharacters += report.paragraphs.back().charCount;
    }
    summarize(report);
    return report;
}

HighlightTestReport test(const CapturedArticle& article, const std::optional<std::string>& url)
{
    return test(article.paragraphs, article.title, url);
}

HighlightTestReport test(const DocumentSession& session)
{
    std::vector<ArticleParagraph> paragraphs;
    for (const ReadableParagraph& paragraph : session.paragraphs())
        paragraphs.push_back(paragraph.toArticleParagraph());
    return test(paragraphs, session.title());
}

} // namespace lorvantine::HighlightTester
