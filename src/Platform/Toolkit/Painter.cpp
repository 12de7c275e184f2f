#include "Platform/Toolkit/Painter.h"

#include "Platform/Toolkit/TextLayout.h"

namespace lorvantine {

void Painter::drawTextLayout(const TextLayout& layout, const Rect& rect, const Color& color)
{
    const TextLayout::Parameters& p = layout.parameters();
    drawText(p.text, rect, p.font, color, p.alignment, p.lineBreak);
}

void Painter::clipRect(const Rect& rect) { clip(Path::rect(rect)); }

Rect Painter::clipBounds() const { return Rect(-1e9, -1e9, 2e9, 2e9); }

} // namespace lorvantine
