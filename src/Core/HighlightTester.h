#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Accessibility/CapturedArticle.h"
#include "Core/HighlightTestReport.h"
#include "Core/SubHighlightUnit.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Support/Utf16Offsets.h"

#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

class DocumentSession;

// Judges, without speaking or drawing, whether the geometry the reading session would highlight
// for a captured document is plausible: per paragraph and per sentence it asks the other
// application for character bounds and the highlighting code for line rectangles, and records
// every check with its verdict. Stateless; it writes nothing to the console or to files.
// Accessibility reads block while the other application answers, so it runs on the calling
// thread (the command line's main thread) and nothing is in flight when a call returns.
namespace HighlightTester {

using CharRange = SubHighlightUnit::CharRange;

// The Characters after which a sentence ends, compared as whole Characters (CR LF does not end
// one; the ASCII full stop never does).
const std::set<std::string>& sentenceEnders();

// Every paragraph in order, with the summary and failure categories; no content report.
HighlightTestReport test(const std::vector<ArticleParagraph>& paragraphs, const std::string& articleTitle,
                         const std::optional<std::string>& url = std::nullopt);
// What an article capture found, under its title.
HighlightTestReport test(const CapturedArticle& article, const std::optional<std::string>& url = std::nullopt);
// What a document source found, its paragraphs converted as the reading session converts them.
HighlightTestReport test(const DocumentSession& session);

ParagraphTestResult testParagraph(const ArticleParagraph& paragraph);

// What the sentence tests of one paragraph share. Character offsets count in the element's full
// text when `axMapping` is set, else in the paragraph text; `utf16Offsets` turns them into UTF-16
// units of that text before `nativeOffset` (already UTF-16) is added.
struct SentenceContext {
    std::optional<AXElement> element;
    std::optional<Rect> paraRect;
    int paraCharCount = 0;
    std::string paraRole;
    std::optional<std::vector<int>> axMapping;
    Utf16Offsets utf16Offsets { std::string_view() };
    int nativeOffset = 0;
};

SentenceTestResult testSentence(CharRange range, const SentenceContext& context);

// Adjacent, non-empty Character ranges covering the whole text, each ender in the sentence it ends.
std::vector<CharRange> splitSentences(std::string_view text);

// The values of the static texts below `element`, in tree order, without descending into them;
// nothing deeper than 30 levels.
void collectAllDescendantText(const AXElement& element, std::vector<std::string>& into, int depth = 0);

// Whether "width_consistency" applies to a sentence apart from its rectangles: not in a web area,
// and only for a first sentence long enough to fill its first line.
enum class WidthCheck { skip, consider };

// The checks of a sentence's measured lines against its paragraph's rectangle, in order:
// "containment", "no_vertical_gap" (two lines or more), "width_consistency", "reasonable_dims".
std::vector<CheckResult> judgeLines(const std::vector<Rect>& lines, const Rect& paraRect, WidthCheck widthCheck);

} // namespace HighlightTester
} // namespace lorvantine
