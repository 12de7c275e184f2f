#pragma once

#include "Platform/Geometry.h"

#include <optional>
#include <vector>

namespace lorvantine {

// The empty vertical band between two columns of a recognised page. Ragged line ends, a short
// last line or a run of short words leave room on some lines only; a gutter is left empty by the
// words of (nearly) every line, with several lines of words on each side of it, and it is wider
// than four fifths of a line's height, which no space between words reaches. A plain value;
// finding one is pure.
struct ColumnGutter {
    double minX = 0;
    double maxX = 0;

    double width() const { return maxX - minX; }
    double middle() const { return (minX + maxX) / 2; }

    // The widest gutter among the word boxes of a page, grouped into screen lines (global
    // points); the leftmost of equally wide ones. None on a page of one column.
    static std::optional<ColumnGutter> find(const std::vector<std::vector<Rect>>& lines);
};

} // namespace lorvantine
