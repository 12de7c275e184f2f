#include "Overlay/OverlayFormat.h"

#include <cmath>
#include <cstdio>

namespace lorvantine::OverlayFormat {

namespace {

const char* nonFinite(double value)
{
    if (std::isnan(value))
        return "nan";
    return value > 0 ? "inf" : "-inf";
}

} // namespace

std::string whole(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.0f", std::trunc(value));
    // "-0" for a small negative value reads oddly in a log.
    return std::string(buffer) == "-0" ? "0" : buffer;
}

std::string decimal1(double value)
{
    if (!std::isfinite(value))
        return nonFinite(value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.1f", value);
    return buffer;
}

std::string rectWhole(const Rect& r)
{
    return "(" + whole(r.origin.x) + "," + whole(r.origin.y) + "," + whole(r.size.width) + "," + whole(r.size.height) + ")";
}

std::string rect1(const Rect& r)
{
    return "(" + decimal1(r.origin.x) + "," + decimal1(r.origin.y) + "," + decimal1(r.size.width) + ","
        + decimal1(r.size.height) + ")";
}

std::string pointWhole(Point p) { return "(" + whole(p.x) + "," + whole(p.y) + ")"; }

} // namespace lorvantine::OverlayFormat
