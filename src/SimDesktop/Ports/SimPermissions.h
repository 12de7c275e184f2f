#pragma once

#include "Platform/PermissionsPort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

class SimPermissions final : public PermissionsPort {
public:
    explicit SimPermissions(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    InputMonitoringAccess checkInputMonitoring() override;
    bool requestInputMonitoring() override;
    bool registerLoginItem(std::string& error) override;
    bool unregisterLoginItem(std::string& error) override;
    LoginItemStatus loginItemStatus() override;

private:
    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
