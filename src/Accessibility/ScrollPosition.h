#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>

namespace lorvantine {

// Where a window's scrolled document stands: the screen y of the document's top edge (above the
// scroll area once the document has moved up) and the scroll area's frame. A document point
// y from the top stands at `contentTop + y` on screen, so two readings taken before and after a
// scroll tell how far the content moved. Global screen points, top-left origin. A plain value.
struct ScrollPosition {
    double contentTop = 0;
    Rect viewport;

    // The document's own y of a screen y, and back.
    double documentY(double screenY) const { return screenY - contentTop; }
    double screenY(double documentY) const { return documentY + contentTop; }

    // The largest scroll area of `window` (its document), read now: from the position of its
    // contents where they answer one, else from its vertical scroll bar's value (0...1) over the
    // distance the contents can move, which needs their height. None when neither can be read.
    // Blocks while the other application answers; any thread.
    static std::optional<ScrollPosition> read(const AXElement& window);

    friend bool operator==(const ScrollPosition&, const ScrollPosition&) = default;
};

} // namespace lorvantine
