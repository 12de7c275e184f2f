#pragma once

#include "Platform/Toolkit/Color.h"
#include "Platform/Geometry.h"

#include <functional>
#include <string>

namespace lorvantine {

class Painter;

// An image made by a drawing handler, drawn anew at the size it is shown, the stand-in for an
// image created with a drawing handler. A template image is a shape only: whatever colours the
// handler uses, it is drawn in the tint of the control showing it, keeping each colour's alpha.
// A plain value; draw on the main thread.
struct DrawnImage {
    // Draws the image into `rect` (the painter's coordinates, y upward); answers whether it drew.
    using DrawingHandler = std::function<bool(Painter&, const Rect&)>;

    Size size;
    DrawingHandler drawingHandler;
    bool isTemplate = false;
    std::string accessibilityDescription;

    // Draws into `rect`; a template in `tint`, anything else as its handler paints it.
    void draw(Painter& painter, const Rect& rect, const Color& tint) const;
};

} // namespace lorvantine
