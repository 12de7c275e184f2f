#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/AXValueDescription.h"
#include "CLI/DiagnosticFormat.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <array>

namespace lorvantine::CLIRouter {

namespace {

using DiagnosticFormat::integer;
using DiagnosticFormat::quotedPrefix;

constexpr const char* probeBooksID = "com.apple.iBooksX";
constexpr size_t probeCandidateLimit = 5;
constexpr int probeMaxDepth = 20;
constexpr size_t probeMinimumCharacters = 20;

constexpr std::array<const char*, 7> probedAttributes {
    "AXInsertionPointLineNumber", "AXNumberOfCharacters", "AXSelectedText", "AXSelectedTextRange",
    "AXVisibleCharacterRange", "AXSharedTextUIElements", "AXSharedCharacterRange",
};

std::string probeQuoted(const std::string& text) { return " " + quotedPrefix(text, 40); }

std::string probeErrorCode(AXError error) { return std::to_string(static_cast<int32_t>(error)); }

AXError probeParameterized(const AXElement& element, const char* attribute, const AXValue& parameter, AXValue& out)
{
    return Platform::accessibility().copyParameterizedAttributeValue(element, attribute, parameter, out);
}

// The raw error line of a bounds request, named as the platform names the codes it expects here.
std::string probeBoundsErrorName(AXError error)
{
    switch (error) {
    case AXError::success:
    case AXError::failure:
    case AXError::invalidUIElement:
    case AXError::cannotComplete:
    case AXError::attributeUnsupported:
    case AXError::notImplemented:
    case AXError::noValue:
    case AXError::parameterizedAttributeUnsupported:
        return "(" + *AXValueDescription::errorName(error) + ")";
    default:
        return "(unknown: " + probeErrorCode(error) + ")";
    }
}

// A text element the probe looks at, and its text ("AXValue", else "AXDescription").
struct ProbeTextCandidate {
    AXElement element;
    std::string text;
};

// Depth first below `element` (at `depth`, down to `maxDepth`) until `limit` are taken: each
// "AXStaticText" or "AXGenericElement" of 20 Characters or more with a position at x >= 0 is
// taken, others of that length get a "[skip]" line; text elements are not searched below.
void collectTextForProbe(const AXElement& element, std::vector<ProbeTextCandidate>& into, size_t limit, int depth, int maxDepth)
{
    if (into.size() >= limit || depth > maxDepth)
        return;
    const std::string role = AXReader::attribute(element, AXName::role).value_or("");
    if (role == "AXStaticText" || role == "AXGenericElement") {
        std::string text = AXReader::attribute(element, AXName::value).value_or("");
        if (text.empty())
            text = AXReader::attribute(element, AXName::description).value_or("");
        const size_t characters = Text::characterCount(text);
        if (characters < probeMinimumCharacters)
            return;
        const std::string length = " len=" + std::to_string(characters) + probeQuoted(text);
        auto position = AXReader::position(element);
        auto size = AXReader::size(element);
        if (!position || !size) {
            Log::line("  [skip] no position:" + length);
            return;
        }
        if (position->x < 0) {
            Log::line("  [skip] X<0: x=" + integer(position->x) + length);
            return;
        }
        Log::line("  [pick] x=" + integer(position->x) + " y=" + integer(position->y) + " w=" + integer(size->width)
                  + " h=" + integer(size->height) + length);
        into.push_back(ProbeTextCandidate { element, std::move(text) });
        return;
    }
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (into.size() >= limit)
            return;
        collectTextForProbe(child, into, limit, depth + 1, maxDepth);
    }
}

void probeAttributes(const AXElement& element)
{
    if (auto count = AXReader::numberOfCharacters(element))
        Log::line("    AXNumberOfCharacters: " + std::to_string(*count) + " ✅");
    else
        Log::line("    AXNumberOfCharacters: ❌");
    std::vector<std::string> names;
    Platform::accessibility().copyAttributeNames(element, names);
    for (const char* name : probedAttributes) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            continue;
        AXValue value;
        AXError error = Platform::accessibility().copyAttributeValue(element, name, value);
        if (error == AXError::success)
            Log::line(std::string("    ") + name + ": " + AXValueDescription::describe(value) + " ✅");
        else
            Log::line(std::string("    ") + name + ": listed but read failed (" + probeErrorCode(error) + ")");
    }
}

bool hasLanguageAtStart(const AXValue& value)
{
    const AXAttributedString* attributed = axGet<AXAttributedString>(value);
    if (!attributed)
        return false;
    for (const AXAttributeRun& run : attributed->runs) {
        if (run.range.location <= 0 && run.range.location + run.range.length > 0 && run.attributes.contains("AXLanguage"))
            return true;
    }
    return false;
}

void probeLayout(const AXElement& element)
{
    AXValue line;
    AXError error = probeParameterized(element, AXName::lineForIndex, AXValue { int64_t { 0 } }, line);
    if (error == AXError::success)
        Log::line("    AXLineForIndex(0): " + AXValueDescription::describe(line) + " ✅");
    else
        Log::line("    AXLineForIndex(0): ❌ err=" + probeErrorCode(error));

    auto rangeLine = [](const std::string& opening, AXError code, const AXValue& value) {
        const AXRange* range = axGet<AXRange>(value);
        if (code == AXError::success && range)
            Log::line(opening + "loc=" + std::to_string(range->location) + " len=" + std::to_string(range->length) + " ✅");
        else
            Log::line(opening + "❌ err=" + probeErrorCode(code));
    };
    AXValue range;
    error = probeParameterized(element, AXName::rangeForLine, AXValue { int64_t { 0 } }, range);
    rangeLine("    AXRangeForLine(0): ", error, range);

    auto position = AXReader::position(element);
    auto size = AXReader::size(element);
    if (!position || !size)
        return;
    const Point point { position->x + 20, position->y + size->height * 0.5 };
    AXValue atPoint;
    error = probeParameterized(element, AXName::rangeForPosition, AXValue { point }, atPoint);
    rangeLine("    AXRangeForPosition(" + integer(point.x) + "," + integer(point.y) + "): ", error, atPoint);
}

void probeCandidate(size_t index, const ProbeTextCandidate& candidate, const std::string& bundleID)
{
    std::string shown = Text::characterPrefix(candidate.text, 60);
    for (size_t at = shown.find('\n'); at != std::string::npos; at = shown.find('\n', at))
        shown.replace(at, 1, "↵");
    Log::line("[" + std::to_string(index) + "] \"" + shown + "\" (" + std::to_string(Text::characterCount(candidate.text))
              + " chars)");
    auto position = AXReader::position(candidate.element);
    auto size = AXReader::size(candidate.element);
    if (position && size)
        Log::line("    frame: (" + integer(position->x) + "," + integer(position->y) + ") " + integer(size->width) + "×"
                  + integer(size->height));
    probeAttributes(candidate.element);
    Log::line("    ── 参数化属性实测 ──");

    AXValue attributed;
    AXError error = probeParameterized(candidate.element, AXName::attributedStringForRange, AXValue { AXRange { 0, 1 } }, attributed);
    if (error == AXError::success)
        Log::line("    AXAttributedStringForRange(0,1): " + AXValueDescription::describe(attributed) + " ✅");
    else
        Log::line("    AXAttributedStringForRange(0,1): ❌ err=" + probeErrorCode(error));
    const bool hasLanguage = error == AXError::success && hasLanguageAtStart(attributed);

    if (auto first = AXReader::stringForRange(candidate.element, 0, 1))
        Log::line("    AXStringForRange(0,1): \"" + *first + "\" ✅");
    else
        Log::line("    AXStringForRange(0,1): ❌ nil");

    if (!hasLanguage && bundleID == probeBooksID) {
        // Books crashes its web content when asked for layout of a book without a language.
        Log::line("    ⚠️ No AXLanguage — skipping layout-related attributes (AXLineForIndex, AXRangeForLine, AXRangeForPosition)");
        Log::line("    ⚠️ This book's ePub is missing lang attribute, BoundsForRange UNSAFE");
    } else {
        probeLayout(candidate.element);
    }
    Log::line("");
}

void probeRawBounds(const ProbeTextCandidate& candidate)
{
    Log::line("━━━ 实测 BoundsForRange（原始诊断）━━━");
    Log::line("目标: \"" + Text::characterPrefix(candidate.text, 40) + "...\" ("
              + std::to_string(Text::characterCount(candidate.text)) + " chars)");
    AXValue value;
    AXError error = probeParameterized(candidate.element, AXName::boundsForRange, AXValue { AXRange { 0, 1 } }, value);
    Log::line("  AXError: " + probeErrorCode(error) + " " + probeBoundsErrorName(error));
    if (error != AXError::success)
        return;
    const Rect* rect = axGet<Rect>(value);
    if (!rect) {
        Log::line("  → success 但 result 为 nil（异常）");
        return;
    }
    Log::line("  原始矩形: (" + Format::doubleDescription(rect->origin.x) + ", " + Format::doubleDescription(rect->origin.y)
              + ", " + Format::doubleDescription(rect->size.width) + ", " + Format::doubleDescription(rect->size.height) + ")");
    if (rect->width() < 1 && rect->height() < 1)
        Log::line("  → 返回 success 但矩形为零！（WebKit 内部异常）");
    else
        Log::line("  → ✅ BoundsForRange 正常工作");
}

} // namespace

int routeProbeBounds(const Arguments& args)
{
    const std::string bundleID = value(args, "--app").value_or(probeBooksID);
    const bool test = hasFlag(args, "--test");

    auto app = AXReader::findApp(bundleID);
    if (!app) {
        Log::line("❌ " + bundleID + " 未运行");
        return 1;
    }
    auto windows = AXReader::windows(AXElement { app->pid, 0 });
    if (windows.empty()) {
        Log::line("❌ 未找到 " + bundleID + " 窗口");
        return 1;
    }
    const AXElement window = windows.front();

    Log::line(std::string("━━━ Probe Bounds v2") + (test ? " + 实测" : " (零 BoundsForRange 调用)") + " ━━━");
    Log::line("窗口: " + AXReader::attribute(window, AXName::title).value_or("(无标题)"));
    Log::line("");

    std::vector<ProbeTextCandidate> candidates;
    collectTextForProbe(window, candidates, probeCandidateLimit, 0, probeMaxDepth);
    if (candidates.empty()) {
        Log::line("❌ 未找到文本元素");
        return 1;
    }
    Log::line("找到 " + std::to_string(candidates.size()) + " 个文本元素，逐个探测替代属性");
    Log::line("");

    for (size_t i = 0; i < candidates.size(); ++i)
        probeCandidate(i, candidates[i], bundleID);
    if (!test)
        return 0;

    probeRawBounds(candidates.front());
    const OperatingSystemVersion os = Platform::workspace().operatingSystemVersion();
    Log::line("");
    Log::line("  macOS: " + std::to_string(os.majorVersion) + "." + std::to_string(os.minorVersion) + "."
              + std::to_string(os.patchVersion));
    if (auto version = Platform::workspace().applicationVersion(probeBooksID))
        Log::line("  Apple Books: " + *version);
    return 0;
}

} // namespace lorvantine::CLIRouter
