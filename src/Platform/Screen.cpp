#include "Platform/Screen.h"

#include "Platform/Services.h"

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
