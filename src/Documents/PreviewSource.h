#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// PDF documents shown in Preview: every static text below the window's document group.
namespace PreviewSource {

inline constexpr int priority = 20;
const std::vector<std::string>& supportedBundleIDs();
// A session when `bundleID` is one of ours and its front window's document group holds at least
// one paragraph that is not noise. Synchronous, on the caller's thread; logs nothing.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// This source as the registry lists it.
DocumentSource source();

} // namespace PreviewSource
} // namespace lorvantine
