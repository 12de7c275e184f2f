#include "CLI/AppInspector.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/AXValueDescription.h"
#include "CLI/CLIRouter.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <optional>
#include <unordered_set>
#include <utility>

namespace lorvantine::AppInspector {

namespace {

constexpr int defaultDepth = 16;
constexpr int webAreaSearchDepth = 8;
constexpr int scrollAreaSearchDepth = 4;
constexpr size_t probeLimit = 3;
constexpr size_t probeMinimumCharacters = 10;
constexpr size_t probeEchoCharacters = 40;
constexpr size_t stringProbeCharacters = 5;
constexpr size_t previewLimit = 8;
constexpr size_t previewMinimumCharacters = 5;
constexpr size_t previewEchoCharacters = 80;
constexpr size_t rolesShown = 10;
// Texts averaging more than this many Characters are whole paragraphs; shorter ones are lines.
constexpr int64_t lineLengthCeiling = 99;

constexpr const char* staticTextRole = "AXStaticText";
constexpr const char* imageRole = "AXImage";
constexpr const char* untitled = "(无标题)";

using Arguments = std::vector<std::string>;
// Broken trees list an element under several parents or among its own descendants; each walk
// visits an element once, so a loop can neither be counted twice nor recurse without end.
using Seen = std::unordered_set<AXElement>;

struct TextStats {
    int64_t count = 0;
    int64_t totalChars = 0;
    int64_t longest = 0;
    int64_t shortest = std::numeric_limits<int64_t>::max();
    int64_t images = 0;
};
using RoleCount = std::map<std::string, int64_t>;

struct TextElement {
    AXElement element;
    std::string value;
};

struct ResolvedApp {
    std::optional<RunningApplication> application;
    std::string bundleID;
};

ResolvedApp resolveApp(const Arguments& args)
{
    if (auto bundleID = CLIRouter::value(args, "--app")) {
        auto application = AXReader::findApp(*bundleID);
        if (!application)
            Log::line("⚠️  应用 " + *bundleID + " 未运行");
        return { std::move(application), *bundleID };
    }
    auto front = Platform::workspace().frontmostApplication();
    std::string bundleID = front && front->bundleIdentifier ? *front->bundleIdentifier : "unknown";
    return { std::move(front), std::move(bundleID) };
}

// Optional sign and decimal digits, nothing else; a number beyond the integer range is none.
std::optional<int> parseIntArg(const Arguments& args, const std::string& flag)
{
    auto text = CLIRouter::value(args, flag);
    if (!text)
        return std::nullopt;
    auto number = Text::integerValue(*text);
    if (!number)
        return std::nullopt;
    // No tree is deeper than the int range, so a larger depth means the same as its largest value.
    return static_cast<int>(std::clamp<int64_t>(*number, INT_MIN, INT_MAX));
}

// Points printed as whole numbers, the fraction dropped toward zero.
std::string whole(double points)
{
    if (std::isnan(points))
        return "0";
    constexpr double limit = 9.2e18; // keeps the conversion defined
    return std::to_string(static_cast<long long>(std::trunc(std::clamp(points, -limit, limit))));
}

std::string frameText(const Rect& frame)
{
    return "(" + whole(frame.minX()) + "," + whole(frame.minY()) + " " + whole(frame.width()) + "×" + whole(frame.height()) + ")";
}

// The first Characters of a text on one line, each line feed shown as "↵".
std::string echo(std::string_view text, size_t characters)
{
    return Text::joined(Text::components(Text::characterPrefix(text, characters), "\n"), "↵");
}

std::string roleOf(const AXElement& element) { return AXReader::attribute(element, AXName::role).value_or("unknown"); }

bool containsRole(const AXElement& element, const std::string& role, int maxDepth, int depth, Seen& seen)
{
    if (AXReader::attribute(element, AXName::role) == role)
        return true;
    if (depth >= maxDepth)
        return false;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (seen.insert(child).second && containsRole(child, role, maxDepth, depth + 1, seen))
            return true;
    }
    return false;
}

bool containsRole(const AXElement& window, const std::string& role, int maxDepth)
{
    Seen seen { window };
    return containsRole(window, role, maxDepth, 0, seen);
}

void collectTextStats(const AXElement& element, TextStats& stats, RoleCount& roleCount, int depth, int maxDepth, Seen& seen)
{
    if (depth > maxDepth)
        return;
    const std::string role = roleOf(element);
    ++roleCount[role];
    if (role == staticTextRole) {
        const auto characters = static_cast<int64_t>(Text::characterCount(AXReader::attribute(element, AXName::value).value_or("")));
        if (characters >= 1) {
            ++stats.count;
            stats.totalChars += characters;
            stats.longest = std::max(stats.longest, characters);
            stats.shortest = std::min(stats.shortest, characters);
        }
    } else if (role == imageRole) {
        ++stats.images;
    }
    if (depth >= maxDepth)
        return;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (seen.insert(child).second)
            collectTextStats(child, stats, roleCount, depth + 1, maxDepth, seen);
    }
}

// Static texts of at least `minimum` Characters, depth first; a static text is not searched below.
void findTextElements(const AXElement& element, std::vector<TextElement>& into, size_t limit, size_t minimum, int depth,
                      int maxDepth, Seen& seen)
{
    if (into.size() >= limit || depth > maxDepth)
        return;
    if (AXReader::attribute(element, AXName::role) == staticTextRole) {
        std::string value = AXReader::attribute(element, AXName::value).value_or("");
        if (Text::characterCount(value) >= minimum)
            into.push_back({ element, std::move(value) });
        return;
    }
    if (depth >= maxDepth)
        return;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (into.size() >= limit)
            return;
        if (seen.insert(child).second)
            findTextElements(child, into, limit, minimum, depth + 1, maxDepth, seen);
    }
}

std::vector<TextElement> findTextElements(const AXElement& window, size_t limit, size_t minimum, int maxDepth)
{
    std::vector<TextElement> found;
    Seen seen { window };
    findTextElements(window, found, limit, minimum, 0, maxDepth, seen);
    return found;
}

std::string roleLine(const RoleCount& roleCount)
{
    std::vector<std::pair<std::string, int64_t>> roles(roleCount.begin(), roleCount.end());
    // Equal counts are ordered by role name, so the same tree always gives the same line.
    std::stable_sort(roles.begin(), roles.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<std::string> shown;
    for (size_t i = 0; i < roles.size() && i < rolesShown; ++i)
        shown.push_back(roles[i].first + ":" + std::to_string(roles[i].second));
    return "   Role 分布: " + Text::joined(shown, ", ");
}

std::string recommendation(bool hasWebArea, const TextStats& stats)
{
    if (hasWebArea)
        return "Category A (Electron/WebView) — 复用现有 ArticleParser，加 bundleID 即可";
    if (stats.count >= 1) {
        if (stats.images >= stats.count)
            return "Category B (原生文本) — " + std::to_string(stats.count) + " 个文本节点";
        // Only here is there a text to divide by.
        const int64_t average = stats.totalChars / stats.count;
        if (average > lineLengthCeiling)
            return "Category B (原生文本，按段暴露) — AXStaticText 已是段落粒度，平均 " + std::to_string(average) + " 字符/段";
        return "Category B (原生文本，按行暴露) — 需要 NativeDocumentParser 行合并，平均 " + std::to_string(average) + " 字符/行";
    }
    if (stats.images >= 1)
        return "Category C (图片渲染) — AX 无文本，需要 OCR";
    return "Unknown — 无 AXStaticText 也无 AXImage，需手动分析";
}

void probeElement(const TextElement& text, size_t index)
{
    const size_t characters = Text::characterCount(text.value);
    Log::line("   元素[" + std::to_string(index) + "]: \"" + echo(text.value, probeEchoCharacters) + "...\" ("
              + std::to_string(characters) + " chars)");

    if (auto count = AXReader::numberOfCharacters(text.element))
        Log::line("     AXNumberOfCharacters: " + std::to_string(*count) + " ✅");
    else
        Log::line("     AXNumberOfCharacters: ❌");

    if (auto bounds = AXReader::boundsForRange(text.element, 0, 1))
        Log::line("     AXBoundsForRange[0,1]: " + frameText(*bounds) + " ✅");
    else
        Log::line("     AXBoundsForRange: ❌");

    // Accessibility ranges count UTF-16 units: the first Characters may be more of them.
    const size_t head = std::min(characters, stringProbeCharacters);
    const auto length = static_cast<int>(Text::utf16Count(Text::characterPrefix(text.value, head)));
    std::optional<std::string> string;
    if (head >= 1)
        string = AXReader::stringForRange(text.element, 0, length);
    if (string)
        Log::line("     AXStringForRange[0," + std::to_string(length) + "]: \"" + *string + "\" ✅");
    else
        Log::line("     AXStringForRange: ❌");

    std::vector<std::string> actions;
    if (Platform::accessibility().copyActionNames(text.element, actions) == AXError::success) {
        const bool scrolls = std::find(actions.begin(), actions.end(), "AXScrollToVisible") != actions.end();
        Log::line(std::string("     AXScrollToVisible: ") + (scrolls ? "✅" : "❌") + "  Actions: " + Text::joined(actions, ", "));
    } else {
        Log::line("     Actions: ❌ (无法获取)");
    }
}

void analyzeWindow(const AXElement& window, size_t index, int maxDepth, bool dumpTree, std::ostream& treeOut)
{
    std::string title = "── 窗口 " + std::to_string(index) + ": " + AXReader::attribute(window, AXName::title).value_or(untitled) + " ["
        + roleOf(window) + "] ";
    if (auto frame = AXReader::rect(window))
        title += "(" + whole(frame->width()) + "×" + whole(frame->height()) + " at " + whole(frame->minX()) + "," + whole(frame->minY()) + ")";
    Log::line(title);

    const bool hasWebArea = containsRole(window, "AXWebArea", webAreaSearchDepth);
    const bool hasScrollArea = containsRole(window, "AXScrollArea", scrollAreaSearchDepth);
    Log::line(std::string("   AXWebArea: ") + (hasWebArea ? "✅" : "❌") + "  AXScrollArea: " + (hasScrollArea ? "✅" : "❌"));

    TextStats stats;
    RoleCount roleCount;
    Seen seen { window };
    collectTextStats(window, stats, roleCount, 0, maxDepth, seen);
    Log::line("   AXStaticText 节点: " + std::to_string(stats.count));
    Log::line("   总字符数: " + std::to_string(stats.totalChars));
    if (stats.count >= 1)
        Log::line("   平均文本长度: " + std::to_string(stats.totalChars / stats.count) + " 字符  最大: " + std::to_string(stats.longest)
                  + " 字符  最小: " + std::to_string(stats.shortest) + " 字符");
    Log::line(roleLine(roleCount));
    Log::line("   📋 分类建议: " + recommendation(hasWebArea, stats));

    const auto probes = findTextElements(window, probeLimit, probeMinimumCharacters, maxDepth);
    if (!probes.empty()) {
        Log::line("   ── AX 能力探测 ──");
        for (size_t i = 0; i < probes.size(); ++i)
            probeElement(probes[i], i);
    }

    const auto previews = findTextElements(window, previewLimit, previewMinimumCharacters, maxDepth);
    if (!previews.empty()) {
        Log::line("   ── 文本预览 ──");
        for (size_t i = 0; i < previews.size(); ++i) {
            const Rect frame = AXReader::rect(previews[i].element).value_or(Rect());
            Log::line("   [" + std::to_string(i) + "] \"" + echo(previews[i].value, previewEchoCharacters) + "\" frame=" + frameText(frame));
        }
    }

    if (dumpTree) {
        Log::line("");
        Log::line("   ── AX 树（stdout，可重定向）──");
        AXReader::printTree(AXReader::walkTree(window, maxDepth, 0), 0, treeOut);
        treeOut.flush();
    }
    Log::line("");
}

// The accessibility error constants by name, without their prefix; any other code by number.
std::string axErrorName(AXError error)
{
    return AXValueDescription::errorName(error).value_or("unknown(" + std::to_string(static_cast<int>(error)) + ")");
}

// An application that shows no window list: why, and its focused window when it has one.
void inspectWithoutWindows(const AXElement& application, int maxDepth, std::ostream& treeOut)
{
    AccessibilityPort& ax = Platform::accessibility();
    AXValue windows;
    const AXError windowsError = ax.copyAttributeValue(application, AXName::windows, windows);
    Log::line("   kAXWindows 错误码: " + std::to_string(static_cast<int>(windowsError)) + " (" + axErrorName(windowsError) + ")");

    AXValue focused;
    const AXError focusedError = ax.copyAttributeValue(application, AXName::focusedWindow, focused);
    const AXElement* window = focusedError == AXError::success ? axGet<AXElement>(focused) : nullptr;
    // An answer that is no element is no window either.
    if (!window || window->isNull()) {
        Log::line("   focusedWindow: ❌");
        std::vector<std::string> names;
        if (ax.copyAttributeNames(application, names) == AXError::success)
            Log::line("   可用属性: " + Text::joined(names, ", "));
        Log::line("   应用 AXRole: " + roleOf(application));
        Log::line("");
        Log::line("⚠️  没有窗口（可能需要额外权限或应用使用非标准窗口模型）");
        return;
    }
    Log::line("   focusedWindow: " + AXReader::attribute(*window, AXName::title).value_or(untitled) + " ✅");
    Log::line("");
    analyzeWindow(*window, 0, maxDepth, true, treeOut);
}

} // namespace

int inspect(const std::vector<std::string>& args, std::ostream& treeOut)
{
    const ResolvedApp resolved = resolveApp(args);
    if (!resolved.application) {
        Log::line("❌ 未找到目标应用");
        return 1;
    }
    const RunningApplication& app = *resolved.application;
    const int maxDepth = parseIntArg(args, "--depth").value_or(defaultDepth);

    const AXElement application = Platform::accessibility().applicationElement(app.pid);
    const std::vector<AXElement> windows = AXReader::windows(application);

    Log::line("━━━ App Inspector ━━━");
    Log::line("应用: " + app.localizedName.value_or("unknown"));
    Log::line("Bundle ID: " + resolved.bundleID);
    Log::line("PID: " + std::to_string(app.pid));
    Log::line("窗口数: " + std::to_string(windows.size()));

    if (windows.empty()) {
        inspectWithoutWindows(application, maxDepth, treeOut);
        return 0;
    }
    for (size_t i = 0; i < windows.size(); ++i)
        analyzeWindow(windows[i], i, maxDepth, i == 0, treeOut);
    return 0;
}

} // namespace lorvantine::AppInspector
