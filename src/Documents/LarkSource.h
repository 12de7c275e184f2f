#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// Lark and Feishu documents, shown in a web area.
namespace LarkSource {

inline constexpr int priority = 31;
const std::vector<std::string>& supportedBundleIDs();
// A session when `bundleID` is one of ours and its article window holds at least one paragraph.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// This source as the registry lists it.
DocumentSource source();

} // namespace LarkSource
} // namespace lorvantine
