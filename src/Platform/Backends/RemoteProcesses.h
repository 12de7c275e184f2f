#pragma once

#include "Platform/ProcessPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// Programs run by the desktop server, so that "open" and "osascript" act on the desktop it
// serves; a run blocks the caller until the server answers. The controlling terminal is this
// process's own, answered by `own` (none without it). Any thread.
class RemoteProcesses : public ProcessPort {
public:
    RemoteProcesses(std::shared_ptr<RemoteDesktop> desktop, std::shared_ptr<ProcessPort> own);
    Expected<ProcessOutcome, std::string> run(const std::string& program, const std::vector<std::string>& arguments) override;
    std::optional<std::string> controllingTerminal() override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
    const std::shared_ptr<ProcessPort> m_own;
};

} // namespace lorvantine
