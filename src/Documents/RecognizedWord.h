#pragma once

#include "Platform/Geometry.h"

#include <string>

namespace lorvantine {

// One word read from a window picture: the form in which every user of text recognition gets
// its words, in reading order.
struct RecognizedWord {
    std::string text; // one token of a recognised line, without white space
    Rect screenRect; // global screen points, top-left origin

    friend bool operator==(const RecognizedWord&, const RecognizedWord&) = default;
};

} // namespace lorvantine
