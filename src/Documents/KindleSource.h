#pragma once

#include "Documents/DocumentSource.h"
#include "Platform/Image.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Kindle books. The page's text is the value of a generic element; its words' boxes come from
// recognising the page picture, less the running header above the text, with drop caps that
// recognition split off mended. A page whose element shows no text (a scan, a fixed layout) is
// read by recognition alone. Synchronous; never on the main thread (it captures and recognises).
namespace KindleSource {

inline constexpr int priority = 60;
const std::vector<std::string>& supportedBundleIDs();
// One paragraph for the page in front, or none (logged) when no text can be found.
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// The page's accessibility text alone (no recognition), quick enough to poll while a page
// turns: blank for a page with no text (a picture); none when Kindle does not run or has no window.
std::optional<std::string> readAXText(const std::string& bundleID);
// The picture of the page region, captured without recognition: what tells a turn where the page
// has no text (a scan, a fixed layout). None when Kindle has no window or the capture fails.
std::optional<Image> readPagePicture(const std::string& bundleID);
DocumentSource source();

} // namespace KindleSource
} // namespace lorvantine
