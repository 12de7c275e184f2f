#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/AXValueDescription.h"
#include "Accessibility/ArticleParser.h"
#include "CLI/DiagnosticFormat.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::CLIRouter {

namespace {

using DiagnosticFormat::integer;

constexpr size_t testBoundsParagraphs = 3;
constexpr size_t testBoundsChildren = 3;
constexpr size_t diagParagraphLimit = 5;
constexpr int diagMaxDepth = 20;

std::optional<Rect> boundsOfUtf16(const AXElement& element, const AXRange& range)
{
    return AXReader::boundsForRange(element, static_cast<int>(range.location), static_cast<int>(range.length));
}

// "(x,y) w×h" in whole points.
std::string diagRectangle(const Rect& rect)
{
    return "(" + integer(rect.origin.x) + "," + integer(rect.origin.y) + ") " + integer(rect.size.width) + "×"
        + integer(rect.size.height);
}

std::string diagPosition(const AXElement& element)
{
    auto position = AXReader::position(element);
    return position ? "(" + integer(position->x) + "," + integer(position->y) + ")" : "nil";
}

std::string diagSize(const AXElement& element)
{
    auto size = AXReader::size(element);
    return size ? integer(size->width) + "×" + integer(size->height) : "nil";
}

std::string diagRole(const AXElement& element) { return AXReader::attribute(element, AXName::role).value_or("?"); }

// The non-empty values of every static text below `element`, in tree order; a static text is
// not searched below.
void collectStaticText(const AXElement& element, std::string& into, int depth)
{
    if (depth > diagMaxDepth)
        return;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (AXReader::attribute(child, AXName::role) == "AXStaticText")
            into += AXReader::attribute(child, AXName::value).value_or("");
        else
            collectStaticText(child, into, depth + 1);
    }
}

std::string fullTextBelow(const AXElement& element)
{
    std::string text;
    collectStaticText(element, text, 1);
    return text;
}

bool qualifiesForDiagnosis(const ArticleParagraph& paragraph)
{
    if (!paragraph.element)
        return false;
    bool inline_ = false, plain = false;
    for (const AXElement& child : AXReader::rawChildren(*paragraph.element)) {
        const std::string role = diagRole(child);
        inline_ = inline_ || role == "AXGroup" || role == "AXLink";
        plain = plain || role == "AXStaticText";
    }
    return inline_ && plain;
}

// Bounds of the Character at `index` of `text` on `element`.
std::string characterBounds(const AXElement& element, const std::string& text, size_t index)
{
    auto rect = boundsOfUtf16(element, DiagnosticFormat::utf16RangeOfCharacters(text, index, 1));
    return rect ? diagRectangle(*rect) : "FAILED";
}

void experimentOnParent(const AXElement& element, const std::string& fullText)
{
    Log::line("  [EXP1] BoundsForRange on PARENT element (full text indices):");
    const size_t n = Text::characterCount(fullText);
    const std::vector<std::string> characters = Text::characters(fullText);
    const size_t samples[] = { 0, n / 4, n / 2, 3 * n / 4, n == 0 ? 0 : n - 1 };
    for (size_t index : samples) {
        if (index >= n)
            continue;
        const std::string opening = "    idx=" + std::to_string(index) + " char=\"" + characters[index] + "\" → ";
        auto rect = boundsOfUtf16(element, DiagnosticFormat::utf16RangeOfCharacters(fullText, index, 1));
        Log::line(opening + (rect ? diagRectangle(*rect) : "FAILED"));
    }

    const size_t length = std::min<size_t>(n, 200);
    AXValue answer;
    const AXRange range = DiagnosticFormat::utf16RangeOfCharacters(fullText, 0, length);
    const AXError error = Platform::accessibility().copyParameterizedAttributeValue(element, AXName::stringForRange,
                                                                                    AXValue { range }, answer);
    const std::string* string = axGet<std::string>(answer);
    if (error != AXError::success || !string) {
        Log::line("    AXStringForRange: FAILED (err=" + std::to_string(static_cast<int32_t>(error)) + ")");
        return;
    }
    Log::line("    AXStringForRange(0.." + std::to_string(length) + "): " + DiagnosticFormat::quotedPrefix(*string, 100));
    Log::line(std::string("    matches fullText: ") + (*string == Text::characterPrefix(fullText, length) ? "true" : "false"));
}

struct DiagChild {
    size_t index = 0;
    std::string text;
    size_t offset = 0; // Characters of the earlier children with text
};

std::vector<DiagChild> experimentOnChildren(const AXElement& element)
{
    Log::line("");
    Log::line("  [EXP2] BoundsForRange on each CHILD (using value text length):");
    std::vector<DiagChild> withText;
    size_t offset = 0;
    const std::vector<AXElement> children = AXReader::rawChildren(element);
    for (size_t j = 0; j < children.size(); ++j) {
        const AXElement& child = children[j];
        const std::string role = diagRole(child);
        const std::string text = role == "AXStaticText" ? AXReader::attribute(child, AXName::value).value_or("") : fullTextBelow(child);
        const std::string opening = "    child[" + std::to_string(j) + "] " + role;
        if (text.empty()) {
            Log::line(opening + " — empty text, skip");
            continue;
        }
        const size_t characters = Text::characterCount(text);
        Log::line(opening + " pos=" + diagPosition(child) + " sz=" + diagSize(child) + " text="
                  + DiagnosticFormat::quotedPrefix(text, 40) + " (" + std::to_string(characters)
                  + " chars, offset=" + std::to_string(offset) + ")");
        auto first = boundsOfUtf16(child, DiagnosticFormat::utf16RangeOfCharacters(text, 0, 1));
        Log::line("      BFR(0,1): " + (first ? diagRectangle(*first) : std::string("FAILED ❌")));
        if (characters >= 2) {
            auto whole = boundsOfUtf16(child, DiagnosticFormat::utf16RangeOfCharacters(text, 0, characters));
            Log::line("      BFR(0," + std::to_string(characters) + "): " + (whole ? diagRectangle(*whole) : std::string("FAILED ❌")));
        }
        if (role == "AXGroup" || role == "AXLink") {
            const std::vector<AXElement> inner = AXReader::rawChildren(child);
            for (size_t k = 0; k < inner.size(); ++k) {
                if (diagRole(inner[k]) != "AXStaticText")
                    continue;
                const std::string innerText = AXReader::attribute(inner[k], AXName::value).value_or("");
                const size_t n = std::max<size_t>(Text::characterCount(innerText), 1);
                Log::line("      ↳ grandchild[" + std::to_string(k) + "] pos=" + diagPosition(inner[k]) + " sz="
                          + diagSize(inner[k]) + " text=\"" + innerText + "\"");
                AXRange range = DiagnosticFormat::utf16RangeOfCharacters(innerText, 0, n);
                if (range.length == 0)
                    range.length = 1;
                auto rect = boundsOfUtf16(inner[k], range);
                Log::line("        BFR(0," + std::to_string(n) + "): " + (rect ? diagRectangle(*rect) + " ✅" : std::string("FAILED ❌")));
            }
        }
        withText.push_back(DiagChild { j, text, offset });
        offset += characters;
    }
    return withText;
}

void experimentAtEdges(const AXElement& element, const std::string& fullText, const std::vector<DiagChild>& children)
{
    Log::line("");
    Log::line("  [EXP3] Parent BoundsForRange at inline code boundaries:");
    for (const DiagChild& child : children) {
        const size_t last = child.offset + Text::characterCount(child.text) - 1;
        Log::line("    child[" + std::to_string(child.index) + "] start[" + std::to_string(child.offset)
                  + "]=" + characterBounds(element, fullText, child.offset) + " end[" + std::to_string(last)
                  + "]=" + characterBounds(element, fullText, last));
    }
}

void diagnoseParagraph(const ArticleParagraph& paragraph)
{
    const AXElement& element = *paragraph.element;
    const std::string fullText = fullTextBelow(element);
    const size_t collected = Text::characterCount(paragraph.text);
    const size_t full = Text::characterCount(fullText);
    Log::line("═══ para[" + std::to_string(paragraph.index) + "] role=" + paragraph.role + " ═══");
    Log::line("  collected text (" + std::to_string(collected) + " chars): " + DiagnosticFormat::quotedPrefix(paragraph.text, 100));
    Log::line("  full text     (" + std::to_string(full) + " chars): " + DiagnosticFormat::quotedPrefix(fullText, 100));
    Log::line("  delta: " + std::to_string(static_cast<long long>(full) - static_cast<long long>(collected)) + " chars (inline code text)");
    Log::line("");
    experimentOnParent(element, fullText);
    const std::vector<DiagChild> children = experimentOnChildren(element);
    experimentAtEdges(element, fullText, children);
}

} // namespace

int routeTestBounds(const Arguments&)
{
    auto article = ArticleParser::captureArticle(std::nullopt);
    if (!article) {
        Log::line("❌ 找不到公号文章窗口");
        return 1;
    }
    Log::line("📖 " + article->title + " — " + std::to_string(article->paragraphs.size()) + " 段");
    const size_t count = std::min(article->paragraphs.size(), testBoundsParagraphs);
    for (size_t i = 0; i < count; ++i) {
        const ArticleParagraph& paragraph = article->paragraphs[i];
        Log::line("");
        Log::line("--- para[" + std::to_string(i) + "] role=" + paragraph.role + " text=\""
                  + Text::characterPrefix(paragraph.text, 40) + "...\"");
        if (!paragraph.element) {
            Log::line("  ⚠ no element");
            continue;
        }
        const AXRange range = DiagnosticFormat::utf16RangeOfCharacters(paragraph.text, 0, 5);
        if (auto rect = boundsOfUtf16(*paragraph.element, range))
            Log::line("  ✅ boundsForRange(0,5) on " + paragraph.role + " → " + AXValueDescription::describe(*rect));
        else
            Log::line("  ❌ boundsForRange on " + paragraph.role + " failed");

        AXValue childrenValue;
        const auto* children = Platform::accessibility().copyAttributeValue(*paragraph.element, AXName::children, childrenValue) == AXError::success
            ? axGet<std::vector<AXElement>>(childrenValue)
            : nullptr;
        if (!children) {
            Log::line("  (no children)");
            continue;
        }
        for (size_t j = 0; j < std::min(children->size(), testBoundsChildren); ++j) {
            const AXElement& child = (*children)[j];
            const int characters = AXReader::numberOfCharacters(child).value_or(-1);
            Log::line("  child[" + std::to_string(j) + "] role=" + diagRole(child) + " chars=" + std::to_string(characters));
            if (characters < 1)
                continue;
            if (auto rect = AXReader::boundsForRange(child, 0, std::min(characters, 5)))
                Log::line("    ✅ boundsForRange(0,5) → " + AXValueDescription::describe(*rect));
            else
                Log::line("    ❌ boundsForRange failed");
        }
    }
    return 0;
}

int routeDiagHighlight(const Arguments&)
{
    auto article = ArticleParser::captureArticle(std::nullopt);
    if (!article) {
        Log::line("❌ 找不到文章窗口");
        return 1;
    }
    size_t diagnosed = 0;
    for (const ArticleParagraph& paragraph : article->paragraphs) {
        if (!qualifiesForDiagnosis(paragraph))
            continue;
        if (diagnosed == diagParagraphLimit)
            return 0;
        diagnoseParagraph(paragraph);
        ++diagnosed;
    }
    if (diagnosed == 0)
        Log::line("没有找到含 inline code 的段落");
    return 0;
}

} // namespace lorvantine::CLIRouter
