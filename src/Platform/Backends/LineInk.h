#pragma once

#include "Platform/Backends/GrayImage.h"

#include <cstddef>
#include <optional>
#include <utility>
#include <vector>

namespace lorvantine {

// The ink of one line of text in a picture: whatever stands out from the line's background,
// dark on light or light on dark. Places what an engine located only roughly.
class LineInk {
public:
    struct Box {
        int left = 0;
        int top = 0;
        int right = 0; // exclusive
        int bottom = 0; // exclusive
    };

    // `band`: the line's rows (and the columns used to find its background), clipped to the picture.
    LineInk(const GrayImage& image, const Box& band);

    bool columnHasInk(int x) const;
    // The ink of columns [left, right) within the band; none without ink.
    std::optional<Box> inkIn(int left, int right) const;

    // Boxes for `count` full-width characters (Chinese, Japanese and their punctuation) whose ink
    // begins at or after `left` and ends before `right`. Such characters stand on a regular grid one
    // em apart (a little more than the height of their ink), separated by blank columns: the grid
    // from the first ink whose cell edges stay clearest of ink is taken, and every character gets
    // the ink inside its cell, less what runs in from a neighbour. Empty when there is no ink.
    std::vector<Box> placeFullWidth(int left, int right, size_t count) const;

    // The rows of columns [left, right) around row `y` that hold ink, up to the blank rows above
    // and below them, as [top, bottom): a line's own rows where the band reaches into the lines
    // above and below it. None when row `y` has no ink there or lies outside the band.
    std::optional<std::pair<int, int>> inkedRowsAround(int y, int left, int right) const;

    // The widest run of columns without ink in [left, right), as [first, end); none when every
    // column has ink. Of equally wide runs, the first.
    std::optional<std::pair<int, int>> widestGap(int left, int right) const;

    enum class Side { leading, trailing };
    // `box` widened over a small mark of ink just beside it on `side`, closer than a space: a stop
    // that an engine read but left out of its word's box.
    Box widenedOverNearbyInk(const Box& box, Side side) const;

private:
    const GrayImage& m_image;
    Box m_band;
    int m_background = 255;
};

} // namespace lorvantine
