#pragma once

#include "Platform/Dispatch/Clock.h"

#include <optional>
#include <string>

namespace lorvantine {

// Obtains the front application's selected text by sending it the copy shortcut (Command+C),
// waiting for the general pasteboard to receive text, and then puts the user's previous
// pasteboard contents back, item by item and type by type.
//
// Blocks its thread (the main thread in the program) for up to the time-out while the other
// application copies. A copy that lands after the time-out would overwrite the restored
// clipboard; a main-run-loop timer watches the pasteboard for a short grace period afterwards
// and restores once more, unless the user's own hand touched a key or the mouse meanwhile (a
// copy of the user's is never undone) or Input Monitoring is not granted (the user's hand could
// not be seen). The watch ends by itself; a newer capture replaces it.
namespace ClipboardCapture {

// The copied plain text, or none when nothing usable came before the deadline (no copy, a copy
// without text, or an empty text). A time-out of 0 or less sends the shortcut and restores at once.
std::optional<std::string> captureSelectionText(Duration timeout);

// How long the pasteboard is watched after a capture.
inline constexpr Duration lateCopyGracePeriod = seconds(1.0);

} // namespace ClipboardCapture
} // namespace lorvantine
