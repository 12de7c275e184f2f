#pragma once

#include <string>

namespace lorvantine {

enum class InputMonitoringAccess { granted, denied, unknown };

enum class LoginItemStatus { notRegistered, enabled, requiresApproval, notFound };

// Input Monitoring access and the launch-at-login item. Accessibility trust is asked of the
// AccessibilityPort. Safe to call from any thread.
class PermissionsPort {
public:
    virtual ~PermissionsPort() = default;

    virtual InputMonitoringAccess checkInputMonitoring() = 0;
    // Asks the user when the answer is unknown; returns whether access is granted.
    virtual bool requestInputMonitoring() = 0;

    // Each returns false with a message in `error` when the system refuses.
    virtual bool registerLoginItem(std::string& error) = 0;
    virtual bool unregisterLoginItem(std::string& error) = 0;
    virtual LoginItemStatus loginItemStatus() = 0;
};

} // namespace lorvantine
