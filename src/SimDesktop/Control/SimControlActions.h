#pragma once

#include "Platform/Services.h"
#include "SimDesktop/Control/SimControlCommand.h"

#include <optional>
#include <string>

// The control commands a desktop's ports can carry out, wherever the desktop is (this process's
// or a shared one): input posted at the hardware tap as a person's hand, "press", "windows" and
// "front" through accessibility, the window server and the workspace. The answer is the control
// channel's line: "ok", "ok " and a detail, or "error " and the reason. Stateless; runs on the
// calling thread.
namespace lorvantine::SimControlActions {

// None for a command that acts on the desktop itself rather than through its ports (trust,
// input-monitoring, snapshot, quit).
std::optional<std::string> perform(const SimControlCommand& command, const PlatformServices& ports);

// `answer` as one line whatever text it quotes (a bundle identifier, a path, a word it did not
// know): line breaks and the other control characters are written as JSON escapes them ("\n",
// "\u0085", "\u2028"), so that a driver reading one line per command stays in step.
std::string answerLine(std::string_view answer);

} // namespace lorvantine::SimControlActions
