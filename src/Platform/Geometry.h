#pragma once

#include <cmath>

namespace lorvantine {

// Points, sizes and rectangles in screen points. Which origin a value uses (top-left global
// screen coordinates, or the toolkit's bottom-left ones) is stated where the value is produced.
struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double width, double height) : origin{x, y}, size{width, height} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    double minX() const { return std::fmin(origin.x, origin.x + size.width); }
    double minY() const { return std::fmin(origin.y, origin.y + size.height); }
    double maxX() const { return std::fmax(origin.x, origin.x + size.width); }
    double maxY() const { return std::fmax(origin.y, origin.y + size.height); }
    double midX() const { return (minX() + maxX()) / 2; }
    double midY() const { return (minY() + maxY()) / 2; }
    double width() const { return std::fabs(size.width); }
    double height() const { return std::fabs(size.height); }
    bool isEmpty() const { return size.width == 0 || size.height == 0; }
    bool contains(Point p) const { return p.x >= minX() && p.x < maxX() && p.y >= minY() && p.y < maxY(); }
    bool intersects(const Rect& o) const
    {
        return !isEmpty() && !o.isEmpty() && minX() < o.maxX() && o.minX() < maxX() && minY() < o.maxY() && o.minY() < maxY();
    }
    Rect intersection(const Rect& o) const;
    Rect united(const Rect& o) const;
    Rect insetBy(double dx, double dy) const { return Rect(minX() + dx, minY() + dy, width() - 2 * dx, height() - 2 * dy); }
    friend bool operator==(const Rect&, const Rect&) = default;
};

inline Rect Rect::intersection(const Rect& o) const
{
    double x0 = std::fmax(minX(), o.minX()), y0 = std::fmax(minY(), o.minY());
    double x1 = std::fmin(maxX(), o.maxX()), y1 = std::fmin(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0)
        return {};
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

inline Rect Rect::united(const Rect& o) const
{
    if (isEmpty())
        return o;
    if (o.isEmpty())
        return *this;
    double x0 = std::fmin(minX(), o.minX()), y0 = std::fmin(minY(), o.minY());
    double x1 = std::fmax(maxX(), o.maxX()), y1 = std::fmax(maxY(), o.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

} // namespace lorvantine
