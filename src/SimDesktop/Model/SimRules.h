#pragma once

#include <cstdint>

namespace lorvantine {

// The lines a table is ruled with, drawn from the frames of its rows (its children) and of their
// cells: one above each row and one below the last, across the cells; with `grid`, one down each
// side of every cell as well. Rules are drawn, never read: they hold no text.
struct SimRules {
    bool grid = false;
    uint32_t colour = 0xFF000000; // 0xAARRGGBB
    double width = 1;             // points

    friend bool operator==(const SimRules&, const SimRules&) = default;
};

} // namespace lorvantine
