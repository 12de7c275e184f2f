#pragma once

#include "Platform/PermissionsPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// The desktop server's permissions; any thread. Without an answer nothing is granted.
class RemotePermissions : public PermissionsPort {
public:
    explicit RemotePermissions(std::shared_ptr<RemoteDesktop> desktop);
    InputMonitoringAccess checkInputMonitoring() override;
    bool requestInputMonitoring() override;
    bool registerLoginItem(std::string& error) override;
    bool unregisterLoginItem(std::string& error) override;
    LoginItemStatus loginItemStatus() override;

private:
    bool loginItemCall(const char* op, std::string& error);
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
