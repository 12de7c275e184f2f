#pragma once

#include "Documents/RecognizedWord.h"

#include <span>
#include <vector>

namespace lorvantine::TableCells {

// The words of a table's screen lines (top to bottom, each left to right) in the order a reader
// takes them: row by row, each row's cells left to right, and a cell that runs onto further lines
// read whole before the cell beside it ("Toddler group, with a coffee morning for / parents and
// carers" before its time). A line is the next line of the row above when each of its words goes
// on a cell of that row whose last line holds more than one word and is full up to its column's
// edge (the word would not have fitted after it), and it leaves at least one of the row's cells
// empty; any other line starts a row. Cells of one word (times, prices, names) never run on, so a
// row that leaves a cell empty under them is a row of its own.
std::vector<RecognizedWord> readingOrder(std::span<const std::vector<RecognizedWord>> lines);

} // namespace lorvantine::TableCells
