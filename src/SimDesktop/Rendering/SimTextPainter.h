#pragma once

#include "SimDesktop/Rendering/SimScene.h"

#include <cairo.h>

namespace lorvantine {

// Draws a SimTextLayout. The text is laid out again exactly as the layout was made (the same
// paragraphs, width, font and unhinted metrics), so every glyph lands where the layout's bounds
// put its Character. Any thread; drawing is serialised on one Pango context.
namespace SimTextPainter {

// `cr` is in points; the layout's top-left corner goes to `text.origin`.
void paint(cairo_t* cr, const SimScene::Text& text);

} // namespace SimTextPainter
} // namespace lorvantine
