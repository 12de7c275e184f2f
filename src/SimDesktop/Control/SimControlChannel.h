#pragma once

#include "SimDesktop/Control/SimControlCommand.h"

#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace lorvantine {

class SimDesktop;

// Carries out the control channel's commands on the simulated desktop, as a person's hand and
// the system's settings would: input is posted at the hardware tap, permissions change in the
// desktop's model, pictures come from its renderer. Each line gets one answer line: "ok", "ok "
// and a detail, or "error " and the reason.
//
// Main thread only: the answers follow what the main queue has delivered so far. A command is
// done when its answer is made; what the program does in reply happens on the main queue after.
class SimControlChannel {
public:
    explicit SimControlChannel(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) { }

    // Reads and carries out one line (without its line feed); the answer is one line whatever
    // the command quoted.
    std::string handle(std::string_view line);
    std::string execute(const SimControlCommand& command);

    // Asked by "quit"; the owner ends the run.
    std::function<void()> onQuit;

private:
    std::string snapshot(const std::string& path);

    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
