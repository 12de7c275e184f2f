#include "Platform/Toolkit/Box.h"

#include "Platform/Toolkit/Painter.h"

#include <algorithm>

namespace lorvantine {

Box::Box(const Rect& frame, BoxType type) : View(frame), m_type(type) { }

void Box::setBoxType(BoxType type)
{
    if (type == m_type)
        return;
    m_type = type;
    setNeedsDisplay();
}

Color Box::separatorColor() const
{
    return effectiveAppearance() == Appearance::darkAqua ? Color::white(0.1) : Color::black(0.1);
}

void Box::draw(Painter& painter, const Rect&)
{
    if (m_type != BoxType::separator)
        return;
    const Rect box = bounds();
    const Rect line = box.width() >= box.height() ? Rect(box.minX(), box.midY() - 0.5, box.width(), 1)
                                                  : Rect(box.midX() - 0.5, box.minY(), 1, box.height());
    painter.fillRect(line, separatorColor());
}

} // namespace lorvantine
