#include "Platform/Toolkit/Path.h"

#include <algorithm>
#include <numbers>

namespace lorvantine {

// Shapes are built element by element; one allocation for each instead of several.
void Path::makeRoom(size_t elements)
{
    if (m_elements.capacity() < m_elements.size() + elements)
        m_elements.reserve(std::max(m_elements.size() + elements, 2 * m_elements.capacity()));
}

void Path::addRect(const Rect& r)
{
    makeRoom(5);
    moveTo({ r.minX(), r.minY() });
    lineTo({ r.maxX(), r.minY() });
    lineTo({ r.maxX(), r.maxY() });
    lineTo({ r.minX(), r.maxY() });
    close();
}

void Path::addRoundedRect(const Rect& r, double cornerRadius)
{
    const double radius = std::clamp(cornerRadius, 0.0, std::min(r.width(), r.height()) / 2);
    if (radius <= 0) {
        addRect(r);
        return;
    }
    constexpr double pi = std::numbers::pi;
    makeRoom(6);
    moveTo({ r.minX() + radius, r.minY() });
    addArc({ r.maxX() - radius, r.minY() + radius }, radius, -pi / 2, 0, false);
    addArc({ r.maxX() - radius, r.maxY() - radius }, radius, 0, pi / 2, false);
    addArc({ r.minX() + radius, r.maxY() - radius }, radius, pi / 2, pi, false);
    addArc({ r.minX() + radius, r.minY() + radius }, radius, pi, 3 * pi / 2, false);
    close();
}

void Path::addEllipse(const Rect& r)
{
    // Four cubic quarter arcs; 0.5523 is the usual control-point factor.
    constexpr double k = 0.5522847498;
    const double cx = r.midX(), cy = r.midY(), rx = r.width() / 2, ry = r.height() / 2;
    moveTo({ cx + rx, cy });
    curveTo({ cx, cy + ry }, { cx + rx, cy + k * ry }, { cx + k * rx, cy + ry });
    curveTo({ cx - rx, cy }, { cx - k * rx, cy + ry }, { cx - rx, cy + k * ry });
    curveTo({ cx, cy - ry }, { cx - rx, cy - k * ry }, { cx - k * rx, cy - ry });
    curveTo({ cx + rx, cy }, { cx + k * rx, cy - ry }, { cx + rx, cy - k * ry });
    close();
}

} // namespace lorvantine
