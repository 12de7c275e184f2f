#pragma once

#include "Documents/DocumentSource.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Pages documents. Pages shows a document as a column of page-sized text areas, each of which
// answers for the whole document text; character bounds are trusted only on the page in view.
// The source reads the whole text at once, makes one paragraph per line, measures the lines of
// the page in view (whichever page the document is scrolled to) and gives every other line a
// placeholder frame below that page, marked `boundsDisabled`; the reading session's page scrolling
// measures those later. Without usable
// text it reads the window by recognition instead.
//
// Stateless: `detect` runs synchronously on the caller's thread (never the main thread in the
// shell); the lookups run on whatever thread the reading session calls them from. Offsets are
// UTF-16 units of the document text.
namespace PagesSource {

inline constexpr int priority = 40;
const std::vector<std::string>& supportedBundleIDs();
std::shared_ptr<DocumentSession> detect(const std::string& bundleID);
DocumentSource source();

// The recognition fallback: the window less its top 90 and bottom 10 points, read as paragraphs
// of at least 10 Characters; none when nothing was recognised or no paragraph could be made.
std::shared_ptr<DocumentSession> detectWithOCR(const AXElement& window, const std::string& title);

// The first content text area (role "AXTextArea", at least 11 characters) in depth-first order,
// not looking into toolbars, menu bars, scroll bars, buttons or text areas.
std::optional<AXElement> searchForTextArea(const AXElement& element, int depth, int maxDepth);
// Every content text area below `element`, in depth-first order, appended to `results`.
void collectAllContentTextAreas(const AXElement& element, int depth, int maxDepth, std::vector<AXElement>& results);
// The text area of the page now in view: among the window's content text areas, the one with the
// longest visible range (at least 11) whose top lies on the primary screen, else the one with the
// longest visible range, else the first.
std::optional<AXElement> findVisiblePageTextArea(const AXElement& window);
// The first content text area whose visible range holds `nco` (end excluded).
std::optional<AXElement> findTextAreaContaining(const AXElement& window, int nco);
// "AXVisibleCharacterRange"; none when it cannot be read or is not a range.
std::optional<AXRange> getVisibleRange(const AXElement& textArea);

// Where lines off the page in view stand: below the text area, never on screen with its text.
Rect placeholderFrame(const Rect& textArea);

} // namespace PagesSource
} // namespace lorvantine
