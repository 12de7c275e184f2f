#include "Overlay/OverlayFormat.h"

#include <cmath>
#include <cstdio>
#include <initializer_list>

namespace lorvantine::OverlayFormat {

namespace {

const char* nonFinite(double value)
{
    if (std::isnan(value))
        return "nan";
    return value > 0 ? "inf" : "-inf";
}

// Appended piece by piece: g++ 12 at -O3 misreads a chain of "(" + std::string + ... as an
// overlapping copy (-Wrestrict).
std::string parenthesised(std::initializer_list<std::string> parts)
{
    std::string out = "(";
    for (const std::string& part : parts) {
        if (out.size() > 1)
            out += ',';
        out += part;
    }
    out += ')';
    return out;
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
    return parenthesised({whole(r.origin.x), whole(r.origin.y), whole(r.size.width), whole(r.size.height)});
}

std::string rect1(const Rect& r)
{
    return parenthesised({decimal1(r.origin.x), decimal1(r.origin.y), decimal1(r.size.width), decimal1(r.size.height)});
}

std::string pointWhole(Point p) { return parenthesised({whole(p.x), whole(p.y)}); }

} // namespace lorvantine::OverlayFormat
