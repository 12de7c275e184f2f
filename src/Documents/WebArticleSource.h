#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// What the web article sources (WeChat, Lark, Safari) share: they differ only in who they are.
namespace WebArticleSource {

// No session unless `supportedBundleIDs` lists `bundleID` exactly (letter case counts); otherwise
// that application's article as the generic capture reads it, or null when it has no paragraph.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID, const std::vector<std::string>& supportedBundleIDs);

// A source with that detection, as the registry lists it.
DocumentSource source(std::string name, int priority, const std::vector<std::string>& supportedBundleIDs);

} // namespace WebArticleSource
} // namespace lorvantine
