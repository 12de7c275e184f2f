#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/WorkspacePort.h"

#include <optional>
#include <string>
#include <string_view>

namespace lorvantine {

// Small pieces that the one-shot diagnostics of the command line write alike. Stateless.
namespace DiagnosticFormat {

// A number of points as the diagnostics print whole points: truncated towards zero ("-3" for
// -3.7); a value that is not a finite number prints as "nan".
std::string integer(double points);

// The first `count` Characters of `text` in double quotes.
std::string quotedPrefix(std::string_view text, size_t count);

// The first `count` Characters of `text`, padded with spaces to `count` Characters.
std::string paddedPrefix(std::string_view text, size_t count);

// The window the diagnostics look at: the application's focused window, else its first one.
std::optional<AXElement> windowOf(const RunningApplication& application);

// Whole milliseconds on the installed clock since `start`.
long long millisecondsSince(TimePoint start);

// UTF-16 range of the Characters [start, start + count) of `text` (clamped to the text), for
// asking accessibility about Characters that the diagnostics count.
AXRange utf16RangeOfCharacters(std::string_view text, size_t start, size_t count);

} // namespace DiagnosticFormat
} // namespace lorvantine
