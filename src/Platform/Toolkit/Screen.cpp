#include "Platform/Toolkit/Screen.h"

#include "Platform/Services.h"

#include <cmath>
#include <limits>

namespace lorvantine::Screen {

std::vector<ScreenInfo> screens()
{
    auto server = Platform::current().windowServer;
    return server ? server->screens() : std::vector<ScreenInfo> {};
}

std::optional<ScreenInfo> primary()
{
    auto all = screens();
    if (all.empty())
        return std::nullopt;
    return all.front();
}

std::optional<ScreenInfo> main()
{
    auto server = Platform::current().windowServer;
    return server ? server->mainScreen() : std::nullopt;
}

std::optional<ScreenInfo> containing(Point point)
{
    for (const auto& screen : screens())
        if (screen.frame.contains(point))
            return screen;
    return std::nullopt;
}

std::optional<ScreenInfo> nearest(const Rect& rect)
{
    std::optional<ScreenInfo> best;
    double bestOverlap = 0;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& screen : screens()) {
        const Rect overlap = screen.frame.intersection(rect);
        const double area = overlap.width() * overlap.height();
        const double dx = std::fmax(0, std::fmax(screen.frame.minX() - rect.maxX(), rect.minX() - screen.frame.maxX()));
        const double dy = std::fmax(0, std::fmax(screen.frame.minY() - rect.maxY(), rect.minY() - screen.frame.maxY()));
        const double distance = std::hypot(dx, dy);
        if (area > bestOverlap || (bestOverlap == 0 && area == 0 && distance < bestDistance)) {
            bestOverlap = area;
            bestDistance = distance;
            best = screen;
        }
    }
    return best;
}

std::optional<double> primaryHeight()
{
    auto screen = primary();
    if (!screen)
        return std::nullopt;
    return screen->frame.height();
}

std::optional<Rect> fromTopLeft(const Rect& r)
{
    auto h = primaryHeight();
    if (!h)
        return std::nullopt;
    return Rect(r.minX(), *h - r.minY() - r.height(), r.width(), r.height());
}

std::optional<Rect> toTopLeft(const Rect& r)
{
    // The conversion is its own inverse.
    return fromTopLeft(r);
}

std::optional<Point> fromTopLeft(Point p)
{
    auto h = primaryHeight();
    if (!h)
        return std::nullopt;
    return Point { p.x, *h - p.y };
}

std::optional<Point> toTopLeft(Point p) { return fromTopLeft(p); }

} // namespace lorvantine::Screen
