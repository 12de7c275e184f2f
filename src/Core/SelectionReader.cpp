#include "Core/SelectionReader.h"

#include "Accessibility/AXReader.h"
#include "Core/ArticleReader.h"
#include "Accessibility/ArticleParagraph.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::SelectionReader {

namespace {

constexpr size_t kTitleCharacters = 40;

std::string unitCount(const std::optional<std::string>& text, bool utf16)
{
    if (!text)
        return "-1";
    return std::to_string(utf16 ? Text::utf16Count(*text) : Text::characterCount(*text));
}

// The Unicode scalars before the first that is not white space: the UTF-16 offset at which the
// trimmed text starts, counted as the platform counts it.
int64_t leadingWhitespaceScalars(const std::string& text)
{
    int64_t leading = 0;
    for (char32_t scalar : Text::scalars(text)) {
        if (!Text::isWhitespace(scalar))
            break;
        ++leading;
    }
    return leading;
}

std::optional<AXElement> readerHostWindow()
{
    auto front = Platform::workspace().frontmostApplication();
    if (!front)
        return std::nullopt;
    const AXElement application = Platform::accessibility().applicationElement(front->pid);
    return AXReader::frontWindow(application);
}

std::string readerFrontBundleID()
{
    auto front = Platform::workspace().frontmostApplication();
    return front ? front->bundleIdentifier.value_or("") : "";
}

std::string titleOf(const std::string& trimmed)
{
    if (Text::characterCount(trimmed) <= kTitleCharacters)
        return Text::trimmingWhitespacesAndNewlines(trimmed);
    return Text::trimmingWhitespacesAndNewlines(Text::characterPrefix(trimmed, kTitleCharacters)) + "\u2026";
}

} // namespace

std::optional<Selection> readCurrentSelection()
{
    AccessibilityPort& ax = Platform::accessibility();
    AXValue value;
    if (ax.copyAttributeValue(ax.systemWideElement(), AXName::focusedUIElement, value) != AXError::success)
        return std::nullopt;
    const AXElement* focused = axGet<AXElement>(value);
    if (!focused)
        return std::nullopt;
    const AXElement element = *focused;

    AXValue selected;
    if (ax.copyAttributeValue(element, AXName::selectedText, selected) != AXError::success)
        return std::nullopt;
    const std::string* selectedText = axGet<std::string>(selected);
    if (!selectedText || selectedText->empty())
        return std::nullopt;
    const std::string s = *selectedText;

    AXRange range { 0, static_cast<int64_t>(Text::utf16Count(s)) };
    AXValue rangeValue;
    if (ax.copyAttributeValue(element, AXName::selectedTextRange, rangeValue) == AXError::success) {
        if (const AXRange* read = axGet<AXRange>(rangeValue))
            range = *read;
    }

    // Ranges beyond what an accessibility call can carry are asked for as no range at all.
    const bool askable = range.location >= 0 && range.length >= 0 && range.location <= INT32_MAX && range.length <= INT32_MAX;
    std::optional<std::string> exact = askable
        ? AXReader::stringForRange(element, static_cast<int>(range.location), static_cast<int>(range.length))
        : std::nullopt;
    Log::line("[SelectionReader:diag] range.len=" + std::to_string(range.length) + " selected(cnt=" + unitCount(s, false)
              + " u16=" + unitCount(s, true) + ") stringForRange(cnt=" + unitCount(exact, false) + " u16=" + unitCount(exact, true) + ")");

    std::string chosen;
    if (exact && static_cast<int64_t>(Text::utf16Count(*exact)) == range.length) {
        chosen = *exact;
    } else {
        chosen = s;
        if (static_cast<int64_t>(Text::utf16Count(s)) != range.length)
            Log::line("[SelectionReader] ⚠ selected u16 ≠ range.len，AXStringForRange 也失败 → 子高亮可能错位");
    }
    // An element that answers an empty text for the range has no selection to offer.
    if (chosen.empty())
        return std::nullopt;

    std::optional<Rect> rect = askable
        ? AXReader::boundsForRange(element, static_cast<int>(range.location), static_cast<int>(range.length))
        : std::nullopt;
    return Selection { std::move(chosen), element, range, rect };
}

bool start(const std::string& text, const std::optional<AXElement>& element, const std::optional<AXRange>& range,
           const std::optional<Rect>& anchor, ArticleReader& reader)
{
    const std::string trimmed = Text::trimmingWhitespacesAndNewlines(text);
    if (trimmed.empty()) {
        Log::line("[SelectionReader] ⚠️ 空选区，忽略");
        return false;
    }
    const int64_t leading = leadingWhitespaceScalars(text);

    std::optional<AXElement> window;
    if (element)
        window = AXReader::findAncestor(*element, "AXWindow").value_or(*element);
    else
        window = readerHostWindow();
    if (!window) {
        Log::line("[SelectionReader] ❌ 找不到承载 window，无法朗读");
        return false;
    }

    bool highlight = false;
    if (element && range) {
        const auto names = AXReader::parameterizedAttributeNames(*element);
        highlight = std::find(names.begin(), names.end(), AXName::boundsForRange) != names.end();
    }

    ArticleParagraph paragraph;
    paragraph.index = 0;
    paragraph.text = trimmed;
    paragraph.frame = anchor.value_or(Rect());
    paragraph.role = "Selection";
    if (highlight) {
        paragraph.element = element;
        const int64_t offset = range->location + leading;
        if (offset >= 0 && offset <= INT32_MAX)
            paragraph.nativeCharOffset = static_cast<int>(offset);
    }
    paragraph.boundsDisabled = !highlight;

    const std::string bundleID = readerFrontBundleID();
    Log::line("[SelectionReader] ▶ " + std::to_string(Text::characterCount(trimmed)) + " 字符, highlight="
              + (highlight ? "AX" : "off") + ", bundle=" + bundleID);
    if (reader.isReading())
        return false;
    reader.startReading(titleOf(trimmed), *window, { std::move(paragraph) }, bundleID);
    return true;
}

bool start(const std::string& text, const std::optional<AXElement>& element, const std::optional<AXRange>& range,
           const std::optional<Rect>& anchor)
{
    return start(text, element, range, anchor, *ArticleReader::shared());
}

} // namespace lorvantine::SelectionReader
