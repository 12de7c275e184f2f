#include "Core/SelectionGeometry.h"

#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

SelectionGeometry& SelectionGeometry::shared()
{
    static SelectionGeometry* instance = new SelectionGeometry();
    return *instance;
}

std::optional<Rect> SelectionGeometry::lastSelectionBBoxAX(double horizontalPadding, double verticalPadding) const
{
    if (!lastMouseDown || !lastMouseUp)
        return std::nullopt;
    const std::vector<ScreenInfo> screens = Platform::windowServer().screens();
    if (screens.empty())
        return std::nullopt;
    const double height = screens.front().frame.height();

    const Point d = *lastMouseDown;
    const Point u = *lastMouseUp;
    const double dx = u.x - d.x;
    const double dy = u.y - d.y;
    const Point dFlipped { d.x, height - d.y };
    const Point uFlipped { u.x, height - u.y };
    if (dx * dx + dy * dy >= 25) {
        return Rect(std::min(dFlipped.x, uFlipped.x) - horizontalPadding, std::min(dFlipped.y, uFlipped.y) - verticalPadding,
                    std::fabs(dx) + 2 * horizontalPadding, std::fabs(dy) + 2 * verticalPadding);
    }
    if (lastClickCount < 2)
        return std::nullopt;
    return Rect(u.x - 600, height - u.y - 75, 1200, 150);
}

} // namespace lorvantine
