#include "Platform/Toolkit/Painter.h"

#include "Platform/Toolkit/TextLayout.h"

namespace lorvantine {

void Painter::drawTextLayout(const TextLayout& layout, const Rect& rect, const Color& color)
{
    const TextLayout::Parameters& p = layout.parameters();
    drawText(p.text, rect, p.font, color, p.alignment, p.lineBreak);
}

bool Painter::mayShow(const Rect&) const { return true; }

} // namespace lorvantine
