#pragma once

#include <functional>
#include <memory> // before WorkspacePort.h, which uses std::shared_ptr without including it

#include "Platform/WorkspacePort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// The workspace over a simulated desktop. Scripts run in the subset SimAppleScript reads (each one
// journaled whole, then its activations and keys as they happen); others answer a script error.
class SimWorkspace final : public WorkspacePort {
public:
    explicit SimWorkspace(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    std::vector<RunningApplication> runningApplications() override;
    std::optional<RunningApplication> frontmostApplication() override;
    bool activate(ProcessID pid, ActivationOptions options) override;
    bool terminate(ProcessID pid) override;
    std::optional<std::string> runAppleScript(const std::string& source, std::string& error) override;
    OperatingSystemVersion operatingSystemVersion() override;
    // A running application's own version first, then the fixture's installed bundles.
    std::optional<std::string> applicationVersion(const std::string& bundleID) override;
    // The same order: a running application's bundle path, then the fixture's installed bundles.
    std::optional<std::string> applicationPath(const std::string& bundleID) override;
    std::shared_ptr<void> observeActivation(std::function<void(const RunningApplication&)> callback) override;
    // Journaled; any URL with a scheme is taken (nothing is shown).
    bool openURL(const std::string& url) override;

private:
    // One bundle field: a running application's own value first, then the fixture's installed
    // bundle of that identifier.
    template <class Field>
    std::optional<std::string> bundleField(const std::string& bundleID, Field field);

    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
