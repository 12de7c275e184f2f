#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "CLI/DiagnosticFormat.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace lorvantine::CLIRouter {

namespace {

constexpr double selectionPollPause = 0.5;
constexpr double selectionRepeatInterval = 2.0;
constexpr double selectionDefaultSeconds = 30;

// "--seconds" as a whole-text Double; a missing, unreadable or endless value gives the default.
double selectionProbeSeconds(const Arguments& args)
{
    auto text = value(args, "--seconds");
    if (!text || text->empty())
        return selectionDefaultSeconds;
    char* end = nullptr;
    const double seconds = std::strtod(text->c_str(), &end);
    if (end != text->c_str() + text->size() || std::isspace(static_cast<unsigned char>(text->front()))
        || !std::isfinite(seconds))
        return selectionDefaultSeconds;
    return seconds;
}

// The wall-clock time of day, "HH:mm:ss.SSS" in the local zone.
std::string selectionTimestamp()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const long long millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local {};
    localtime_r(&seconds, &local);
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d.%03lld", local.tm_hour, local.tm_min, local.tm_sec, millis);
    return buffer;
}

struct SelectionState {
    std::string key;
    std::vector<std::string> lines;
};

SelectionState readSelectionState()
{
    AccessibilityPort& ax = Platform::accessibility();
    std::string front = "?";
    if (auto app = Platform::workspace().frontmostApplication(); app && app->bundleIdentifier)
        front = *app->bundleIdentifier;

    AXValue focusedValue;
    const AXElement* focused = nullptr;
    if (ax.copyAttributeValue(ax.systemWideElement(), AXName::focusedUIElement, focusedValue) == AXError::success)
        focused = axGet<AXElement>(focusedValue);
    if (!focused)
        return { "<no-focused>|" + front, { "] front=" + front + " focused=<missing>" } };

    const std::string role = AXReader::attribute(*focused, AXName::role).value_or("?");
    const std::string description = AXReader::attribute(*focused, "AXRoleDescription").value_or("");
    const std::string selected = AXReader::attribute(*focused, AXName::selectedText).value_or("");
    std::string rangeText = "<no-range>";
    std::string boundsText = "<no-bfr>";
    AXValue rangeValue;
    if (ax.copyAttributeValue(*focused, AXName::selectedTextRange, rangeValue) == AXError::success) {
        if (const AXRange* range = axGet<AXRange>(rangeValue)) {
            rangeText = "loc=" + std::to_string(range->location) + " len=" + std::to_string(range->length);
            AXValue bounds;
            const AXError error = ax.copyParameterizedAttributeValue(*focused, AXName::boundsForRange, rangeValue, bounds);
            const Rect* rect = axGet<Rect>(bounds);
            if (error == AXError::success && rect) {
                using DiagnosticFormat::integer;
                boundsText = integer(rect->origin.x) + "," + integer(rect->origin.y) + " " + integer(rect->size.width) + "x"
                    + integer(rect->size.height);
            } else {
                boundsText = "<bfr-err " + std::to_string(static_cast<int32_t>(error)) + ">";
            }
        }
    }

    const size_t characters = Text::characterCount(selected);
    const std::string shown = Text::characterPrefix(selected, 60) + (characters > 60 ? "…" : "");
    return { front + "|" + role + "|" + Text::characterPrefix(selected, 40) + "|" + rangeText,
             { "] front=" + front + " role=" + role + " desc=\"" + description + "\"",
               "  selected=(" + std::to_string(characters) + " chars) \"" + shown + "\"",
               "  range=" + rangeText + "  bfr=" + boundsText } };
}

} // namespace

int routeProbeSelection(const Arguments& args)
{
    const double duration = selectionProbeSeconds(args);
    Log::line("🔬 Probe Selection — 轮询 " + Format::doubleDescription(duration) + "s");
    Log::line("   请切到目标 App 用鼠标划选文字，每 500ms 读一次");
    Log::line("   所有变化都会打印（Ctrl+C 中断）");
    Log::line("");

    Clock& clock = Clock::current();
    const TimePoint start = clock.now();
    std::optional<std::string> previousKey;
    TimePoint lastGroup = start;
    // Beyond about 30 years the deadline would not fit the clock's count.
    const Duration limit = seconds(std::min(duration, 1e9));
    while (clock.now() - start < limit) {
        SelectionState state = readSelectionState();
        const TimePoint now = clock.now();
        if (!previousKey || state.key != *previousKey || now - lastGroup >= seconds(selectionRepeatInterval)) {
            // The time opens the first line of a group.
            state.lines.front() = "[" + selectionTimestamp() + state.lines.front();
            for (const std::string& line : state.lines)
                Log::line(line);
            lastGroup = now;
        }
        previousKey = std::move(state.key);
        clock.sleep(seconds(selectionPollPause));
    }
    Log::line("");
    Log::line("✅ 轮询结束");
    return 0;
}

} // namespace lorvantine::CLIRouter
