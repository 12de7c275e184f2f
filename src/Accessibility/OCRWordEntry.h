#pragma once

#include "Platform/Geometry.h"

#include <string>

namespace lorvantine {

// One recognised word placed in a paragraph's text. The span counts Characters of the
// paragraph text, not UTF-16 units.
struct OCRWordEntry {
    std::string text;
    int charStart = 0;
    int charEnd = 0; // exclusive
    Rect screenRect; // global, top-left origin

    friend bool operator==(const OCRWordEntry&, const OCRWordEntry&) = default;
};

} // namespace lorvantine
