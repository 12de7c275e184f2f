#pragma once

#include "Platform/Geometry.h"

#include <cstddef>
#include <optional>
#include <vector>

namespace lorvantine {

// The empty vertical band between two columns of a recognised page. Ragged line ends, a short
// last line or a run of short words leave room on some lines only; a gutter is left empty by the
// words of (nearly) every line beside it, with several lines of words on each side of it, and it
// is wider than four fifths of a line's height, which no space between words reaches. What a
// recogniser makes of the lines does not matter: a left and a right line read as one, at one
// height, or one of them cut short, still leave it empty. Lines that cross it above the columns
// (a headline, a standfirst, a byline, a page number) or below them (a footer, a caption across
// the page) stand apart from the columns; lines that cross it among the columns' own lines (the
// dotted leaders of a list of contents, a form) make it no gutter. A plain value; finding one is
// pure.
struct ColumnGutter {
    double minX = 0;
    double maxX = 0;
    // The lines beside the gutter: [firstLine, endLine) of the lines searched. The lines before
    // them run across the page above the columns, those from endLine on run across below them.
    size_t firstLine = 0;
    size_t endLine = 0;
    // The lines beside it are the rows of a table, not two columns of prose: they stand on both
    // sides of it at one height, and on one side they hold cells apart, or cells that do not run
    // across their column as the lines of prose do while the two columns differ in width. Such a
    // band parts a table's columns, to be read row by row.
    bool betweenTableColumns = false;

    double width() const { return maxX - minX; }
    double middle() const { return (minX + maxX) / 2; }

    // The widest gutter among the word boxes of a page, grouped into screen lines top to bottom
    // (global points); the leftmost of equally wide ones. None on a page of one column.
    static std::optional<ColumnGutter> find(const std::vector<std::vector<Rect>>& lines);
};

} // namespace lorvantine
