#pragma once

#include "Platform/Backends/DesktopTruthRecognizer.h"
#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Model/SimApplication.h"
#include "SimDesktop/Model/SimInstalledApplication.h"
#include "SimDesktop/Ports/SimCaptureTool.h"

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
    SimCaptureTool captureTool = SimCaptureTool::available;
    bool eventTapsAvailable = true; // false: listen-only event taps cannot be created
    DesktopTruthRecognizer::Noise recognitionNoise; // the mistakes of the desktop-truth recogniser
    OperatingSystemVersion osVersion { 14, 5, 0 };
    std::vector<SimInstalledApplication> installedApplications; // installed but not running
};

} // namespace lorvantine
