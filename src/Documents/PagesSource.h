#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// Pages documents. The source holds its place in the registry's order; reading Pages' page frames
// is not built yet, so it finds no session and a Pages window is read by the generic article
// capture, as any unknown application is.
namespace PagesSource {

inline constexpr int priority = 40;
const std::vector<std::string>& supportedBundleIDs();
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
DocumentSource source();

} // namespace PagesSource
} // namespace lorvantine
