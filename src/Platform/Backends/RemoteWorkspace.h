#pragma once

#include "Platform/WorkspacePort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// The workspace answered by the desktop server; any thread. Activation callbacks arrive on the
// main queue. Without an answer nothing runs and nothing can be activated.
class RemoteWorkspace : public WorkspacePort {
public:
    explicit RemoteWorkspace(std::shared_ptr<RemoteDesktop> desktop);
    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(ProcessID pid, ActivationOptions options) override;
    bool terminate(ProcessID pid) override;
    std::optional<std::string> runAppleScript(const std::string& source, std::string& error) override;
    OperatingSystemVersion operatingSystemVersion() override;
    std::optional<std::string> applicationVersion(const std::string& bundleID) override;
    std::optional<std::string> applicationPath(const std::string& bundleID) override;
    std::shared_ptr<void> observeActivation(std::function<void(const RunningApplication&)> callback) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
