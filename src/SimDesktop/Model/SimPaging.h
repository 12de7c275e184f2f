#pragma once

#include "Platform/Geometry.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// How a paged reader (a book application) turns its pages, as a fixture describes it. A turn
// either shows the next of `texts` in the content element (its drawn text and, when the fixture
// gives it one, its "AXValue"), or moves the content element's children by `step` (pages laid
// side by side, as Books keeps them), at once or sliding. The last page does not turn.
struct SimPaging {
    std::string content;            // the name of the element that turns
    std::vector<std::string> texts; // the pages' texts, the first one shown at start
    std::optional<Point> step;      // or: the scroll offset added by each turn
    int count = 1;                  // with `step`: how many pages there are
    std::vector<int> keys { 124 };  // keys that turn while the application is in front
    std::string menuItem;           // the name of a menu item whose press turns, if any
    double delay = 0;               // seconds on the installed clock before the page changes
    bool ignoreFirst = false;       // the first request does nothing
    int unreadableReads = 0;        // reads of the window's children that fail right after a turn
    // With `step`: a turn slides the pages across in `slideFrames` even steps over `slideSeconds`
    // on the installed clock, the new page at rest after the last; 0 frames: at once.
    int slideFrames = 0;
    double slideSeconds = 0;

    int pageCount() const { return step ? count : static_cast<int>(texts.size()); }
    friend bool operator==(const SimPaging&, const SimPaging&) = default;
};

} // namespace lorvantine
