#pragma once

#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WindowServerPort.h"
#include "SimDesktop/SimApplication.h"

#include <optional>
#include <vector>

namespace lorvantine {

// A whole desktop as a fixture describes it.
struct SimFixture {
    std::vector<ScreenInfo> screens; // none: one 1440×900 screen
    std::vector<SimApplication> applications;
    bool trusted = true;
    InputMonitoringAccess inputMonitoring = InputMonitoringAccess::granted;
    LoginItemStatus loginItem = LoginItemStatus::notRegistered;
    std::optional<Point> mouseLocation; // top-left origin
    std::vector<PasteboardItem> pasteboard;
};

} // namespace lorvantine
