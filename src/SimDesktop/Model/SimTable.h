#pragma once

#include "SimDesktop/Model/SimElement.h"
#include "SimDesktop/Model/SimRules.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A table as a page shows it: rows of cells side by side, each cell's text wrapped inside its
// column and starting at the row's top, the row as tall as its tallest cell; short cells leave
// their column part empty. A plain record, written by a fixture or a test.
struct SimTable {
    std::vector<double> columns;                // widths in points, left to right
    std::vector<std::vector<std::string>> rows; // one text per column; an empty text is an empty cell
    double cellPadding = 4;                     // points between a cell's edges and its text
    size_t headerRows = 0;                      // the first rows, set in bold
    std::optional<SimRules> rules;

    // `table` (its role, place, font...) holding the rows as the elements a web view exposes:
    // an "AXRow" per row, flowing one below the other, holding an "AXCell" per column, which holds
    // its text as an "AXStaticText".
    SimElement laidOutIn(SimElement table) const;
};

} // namespace lorvantine
