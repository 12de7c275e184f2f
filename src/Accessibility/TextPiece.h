#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>

namespace lorvantine {

// One static text found below a paragraph's element, in document order: its value, the block it
// flows in (the nearest element above it that is neither a link nor inline, such as inline
// code), whether a link holds it, and where it lies on screen when that can be read.
struct TextPiece {
    std::string text;
    AXElement block;
    bool inLink = false;
    std::optional<Rect> frame;
};

} // namespace lorvantine
