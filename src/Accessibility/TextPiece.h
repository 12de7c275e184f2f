#pragma once

#include "Platform/AXTypes.h"

#include <string>

namespace lorvantine {

// One static text found below a paragraph's element, in document order: its value, the block it
// flows in (the nearest element above it that is not a link) and whether a link holds it.
struct TextPiece {
    std::string text;
    AXElement block;
    bool inLink = false;
};

} // namespace lorvantine
