#pragma once

#include "Platform/Geometry.h"

#include <map>
#include <vector>

namespace lorvantine {

// One timed stretch of a paragraph that the overlay marks while it is spoken: a word, or a
// sentence. A plain value.
struct SubHighlightUnit {
    // Half-open range of Character (grapheme cluster) offsets into the whole paragraph text.
    struct CharRange {
        int lower = 0;
        int upper = 0;

        bool isEmpty() const { return lower >= upper; }
        friend bool operator==(const CharRange&, const CharRange&) = default;
    };

    CharRange charRange;
    // Seconds from the start of the segment's audio. `endTime` is +infinity for the last unit of
    // a segment timed by text length.
    double startTime = 0;
    double endTime = 0;

    friend bool operator==(const SubHighlightUnit&, const SubHighlightUnit&) = default;
};

// Screen rectangles (global, top-left origin) of each unit, keyed by the unit's position in its list.
using SubRectTable = std::map<int, std::vector<Rect>>;

} // namespace lorvantine
