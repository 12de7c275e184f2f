#pragma once

#include "Documents/DocumentSession.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// Describes one source type: the application(s) it serves and how it reads their front window.
// Each source file offers a function returning its description; the registry lists them.
struct DocumentSource {
    std::string name;
    int priority = 0; // lower is tried first
    std::vector<std::string> supportedBundleIDs;
    // Reads the application's front window now, synchronously and possibly for long (accessibility
    // walks, capture, recognition); never call it on the main thread. Null when the window holds
    // nothing this source can read.
    std::function<std::shared_ptr<DocumentSession>(const std::string& bundleID)> detect;
};

} // namespace lorvantine
