#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>

namespace lorvantine {

class ArticleReader;

// Reads the text selection of the focused element of any application through accessibility,
// and turns a selection into a one-paragraph reading of role "Selection". Accessibility ranges
// count UTF-16 units and an application's selected text need not have the length of its range,
// so the element's own text for exactly that range is preferred: word highlighting then lines up
// with the element.
//
// No state. Main thread: the accessibility calls block while the other application answers.
namespace SelectionReader {

struct Selection {
    std::string text; // never empty
    AXElement element;
    AXRange range; // UTF-16 units of the element's text
    std::optional<Rect> rect; // top-left screen points
    friend bool operator==(const Selection&, const Selection&) = default;
};

// The focused element's selection; none when anything cannot be read or the selection is empty.
std::optional<Selection> readCurrentSelection();

// Reads `text` (untrimmed) aloud through `reader` as one paragraph, highlighting inside
// `element` when an element and a range are given and the element offers "AXBoundsForRange".
// Without an element the front application's focused (else first) window holds the reading.
// A blank text or no window is refused with a line and nothing else; a reading already running
// is left alone. Answers whether the reading was started.
bool start(const std::string& text, const std::optional<AXElement>& element, const std::optional<AXRange>& range,
           const std::optional<Rect>& anchor, ArticleReader& reader);
// The same through the shared reading session.
bool start(const std::string& text, const std::optional<AXElement>& element, const std::optional<AXRange>& range,
           const std::optional<Rect>& anchor);

} // namespace SelectionReader
} // namespace lorvantine
