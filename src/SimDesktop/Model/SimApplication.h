#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Model/SimMenuItem.h"
#include "SimDesktop/Model/SimPaging.h"
#include "SimDesktop/Model/SimScrolling.h"
#include "SimDesktop/Model/SimWindow.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A running application of the simulated desktop.
struct SimApplication {
    ProcessID pid = 0; // 0: the desktop assigns one
    std::optional<std::string> bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> executableName;
    std::optional<std::string> bundlePath;
    std::optional<std::string> bundleVersion;
    bool active = false;
    bool hidden = false;
    std::map<std::string, AXValue> attributes; // on the application element
    std::map<std::string, AXError> errors;     // also "AXObserverCreate": observers of this process fail
    std::vector<SimMenuItem> menuBar;
    std::vector<SimWindow> windows;
    std::optional<SimPaging> paging; // a paged reader: how its pages turn
    std::optional<SimScrolling> scrolling; // a document that Page Down scrolls
};

} // namespace lorvantine
