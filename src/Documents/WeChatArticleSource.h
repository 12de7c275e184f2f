#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// WeChat's article windows (a chat window is not read).
namespace WeChatArticleSource {

inline constexpr int priority = 10;
const std::vector<std::string>& supportedBundleIDs();
// A session when `bundleID` is one of ours and its article window holds at least one paragraph.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// This source as the registry lists it.
DocumentSource source();

} // namespace WeChatArticleSource
} // namespace lorvantine
