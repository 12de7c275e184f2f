#pragma once

#include "Platform/Geometry.h"

#include <cairo.h>

namespace lorvantine {

// What the window server draws around a window on the screen, besides its content: the shadow
// it casts and its edge. The renderer draws the applications' windows with them; the program's
// titled windows get the same where their pictures are laid on the screen. Frames in global
// top-left points.
namespace SimWindowFrame {

// A rectangle with its corners rounded by `radius` (none at 0), as a new sub-path.
void roundedPath(cairo_t* cr, const Rect& rect, double radius);
// The shadow around `frame`, a little below it; nothing inside the frame, so that a translucent
// window does not show its own shadow through it.
void paintShadow(cairo_t* cr, const Rect& frame, double cornerRadius);
// A fine dark line along the inside of the frame, which sets a window apart from one of the
// same colour behind it.
void strokeEdge(cairo_t* cr, const Rect& frame, double cornerRadius);

} // namespace SimWindowFrame
} // namespace lorvantine
