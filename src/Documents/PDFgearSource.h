#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <string>
#include <vector>

namespace lorvantine {

// PDF documents shown in PDFgear: the static texts inside its page elements, less page numbers.
namespace PDFgearSource {

inline constexpr int priority = 22;
const std::vector<std::string>& supportedBundleIDs();
// A session when `bundleID` is one of ours and the pages of its front window hold at least one
// paragraph that is not noise. Synchronous, on the caller's thread; logs nothing.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// This source as the registry lists it.
DocumentSource source();

// The file name a window's "AXDocument" URL names, percent escapes decoded; "PDF" when the text is
// no URL or names no file (a bare host, a root).
std::string documentTitle(const std::string& url);

} // namespace PDFgearSource
} // namespace lorvantine
