#pragma once

#include "Documents/DocumentSource.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Notes. The note body (the rightmost scroll area of the window's split group, else the whole
// window) is read natively: its text area's lines, measured through accessibility. Synchronous,
// on the caller's thread; it only reads, so nothing is left to cancel.
namespace NotesSource {

inline constexpr int priority = 25;
const std::vector<std::string>& supportedBundleIDs();
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
// The note body's scroll area: of the split group's scroll areas with a readable position, the
// rightmost (the first in tree order among equals).
std::optional<AXElement> findContentArea(const AXElement& window);
// The first child, else grandchild (child by child), of `element` with `role`.
std::optional<AXElement> findChild(const AXElement& element, const std::string& role);
DocumentSource source();

} // namespace NotesSource
} // namespace lorvantine
