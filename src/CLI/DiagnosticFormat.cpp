#include "CLI/DiagnosticFormat.h"

#include "Accessibility/AXReader.h"
#include "Support/Text.h"

#include <cmath>
#include <limits>

namespace lorvantine::DiagnosticFormat {

std::string integer(double points)
{
    if (!std::isfinite(points))
        return "nan";
    const double whole = std::trunc(points);
    if (std::fabs(whole) >= 9.0e18)
        return whole < 0 ? std::to_string(std::numeric_limits<long long>::min()) : std::to_string(std::numeric_limits<long long>::max());
    return std::to_string(static_cast<long long>(whole));
}

std::string quotedPrefix(std::string_view text, size_t count) { return "\"" + Text::characterPrefix(text, count) + "\""; }

std::string paddedPrefix(std::string_view text, size_t count)
{
    std::string prefix = Text::characterPrefix(text, count);
    const size_t characters = Text::characterCount(prefix);
    if (characters < count)
        prefix.append(count - characters, ' ');
    return prefix;
}

std::optional<AXElement> windowOf(const RunningApplication& application)
{
    const AXElement app { application.pid, 0 };
    if (auto focused = AXReader::focusedWindow(app))
        return focused;
    auto windows = AXReader::windows(app);
    if (windows.empty())
        return std::nullopt;
    return windows.front();
}

long long millisecondsSince(TimePoint start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::current().now() - start).count();
}

AXRange utf16RangeOfCharacters(std::string_view text, size_t start, size_t count)
{
    const size_t total = Text::characterCount(text);
    start = std::min(start, total);
    count = std::min(count, total - start);
    const size_t begin = Text::utf16OffsetFromCharacterOffset(text, start);
    const size_t end = Text::utf16OffsetFromCharacterOffset(text, start + count);
    return AXRange { static_cast<int64_t>(begin), static_cast<int64_t>(end - begin) };
}

} // namespace lorvantine::DiagnosticFormat
