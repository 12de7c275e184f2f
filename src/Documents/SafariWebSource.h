#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// The web page in Safari's front window.
namespace SafariWebSource {

inline constexpr int priority = 50;
const std::vector<std::string>& supportedBundleIDs();
// A session when `bundleID` is one of ours and its article window holds at least one paragraph.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// This source as the registry lists it.
DocumentSource source();

} // namespace SafariWebSource
} // namespace lorvantine
