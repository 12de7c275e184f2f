#pragma once

#include "Platform/Geometry.h"

#include <optional>

namespace lorvantine {

// Where the last selection gesture happened: the last left mouse-down and mouse-up points and
// the last click count, written by the selection watcher's mouse handlers; from them the
// recognition road derives the screen box that holds the selection.
//
// One instance for the whole run (`shared`). Main thread only; nothing is in flight.
class SelectionGeometry {
public:
    static SelectionGeometry& shared();

    // Toolkit screen points (bottom-left origin). Never cleared once set.
    std::optional<Point> lastMouseDown;
    std::optional<Point> lastMouseUp;
    int64_t lastClickCount = 1;

    // The box holding the last selection in top-left screen points, grown by the paddings: the
    // dragged rectangle for a drag (the pointer moved 5 points or more), a fixed 1200 × 150 box
    // round the pointer for a double or triple click, none for a single click, without both
    // points or without a screen. Points are flipped with the primary screen's height, which
    // every global coordinate of the program shares.
    std::optional<Rect> lastSelectionBBoxAX(double horizontalPadding, double verticalPadding) const;
};

} // namespace lorvantine
