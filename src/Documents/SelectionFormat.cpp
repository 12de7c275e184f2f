#include "Documents/SelectionFormat.h"

#include <cmath>
#include <cstdio>

namespace lorvantine::SelectionFormat {

std::string whole(double value)
{
    if (std::isnan(value))
        return "nan";
    if (std::isinf(value))
        return value > 0 ? "inf" : "-inf";
    const double truncated = std::trunc(value);
    if (std::fabs(truncated) >= 9.0e18) {
        char buffer[400];
        std::snprintf(buffer, sizeof buffer, "%.0f", truncated);
        return buffer;
    }
    return std::to_string(static_cast<long long>(truncated));
}

std::string point(Point p) { return whole(p.x) + "," + whole(p.y); }

std::string rect(const Rect& r)
{
    return whole(r.minX()) + "," + whole(r.minY()) + " " + whole(r.width()) + "×" + whole(r.height());
}

} // namespace lorvantine::SelectionFormat
