#include "Core/PagesBisection.h"

#include <algorithm>

namespace lorvantine {

PagesBisection PagesBisection::start(int nco, int charsPerPage, int total)
{
    PagesBisection b;
    b.nco = nco;
    const int perPage = std::max(charsPerPage, 1);
    const int pages = (total + perPage - 1) / perPage;
    const int steps = std::max(pages, 2) - 1;
    b.mid = std::clamp(static_cast<double>(nco / perPage) / steps, 0.0, 1.0);
    b.fraction = total > 0 ? static_cast<double>(nco) / total : 0;
    return b;
}

void PagesBisection::narrow(const std::optional<AXRange>& visible)
{
    if (visible && visible->length >= minimumVisibleLength) {
        if (nco < visible->location)
            hi = mid;
        else
            lo = mid;
    } else if (mid < fraction) {
        lo = mid;
    } else {
        hi = mid;
    }
    mid = (lo + hi) / 2;
}

} // namespace lorvantine
