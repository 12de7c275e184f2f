#pragma once

#include "Documents/DocumentSource.h"
#include "Platform/Image.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Books. The page is read by recognising the window's page region (one paragraph carrying every
// word's box); the accessibility text only mends drop caps and names a reference element.
// Synchronous; never on the main thread (it captures and recognises).
namespace AppleBooksSource {

inline constexpr int priority = 26;
const std::vector<std::string>& supportedBundleIDs();
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// The visible page's accessibility text (its texts joined by one space), quick enough to poll
// while a page turns: blank for a page with no text (a picture); none when Books does not run or
// shows no page.
std::optional<std::string> readAXText(const std::string& bundleID);
// The picture of the page region, captured without recognition: what tells a turn where the page
// has no text (a scan, a fixed layout). None when Books shows no page or the capture fails.
std::optional<Image> readPagePicture(const std::string& bundleID);
DocumentSource source();

} // namespace AppleBooksSource
} // namespace lorvantine
