#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// How an application scrolls its document by keys, as a fixture describes it (a word
// processor's Page Down). Each press moves the scroll area's content down by `step` points,
// stopping where the content's bottom meets the area's bottom.
struct SimKeyScrolling {
    std::string area;              // the name of the scroll area whose content moves
    std::optional<double> step;    // points per press; none: the area's height (one viewport)
    std::vector<int> keys { 121 }; // keys that scroll, posted to the process or at a tap while in front
    friend bool operator==(const SimKeyScrolling&, const SimKeyScrolling&) = default;
};

} // namespace lorvantine
