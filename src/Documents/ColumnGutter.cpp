#include "Documents/ColumnGutter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <utility>

namespace lorvantine {

namespace {

// Several lines on each side: a short last line beside a long one is no column.
constexpr size_t minimumLinesPerSide = 3;
// In heights of a line's tallest word. Spaces between words stay below half of that, and even
// a loosely justified line does not reach it on every line at the same place.
constexpr double minimumWidthInLineHeights = 0.8;
// Lines that may cross a gutter, per ten lines: a heading over both columns, a centred page number.
constexpr size_t crossingLinesPerTen = 1;

using Span = std::pair<double, double>;

// The stretches of x a line's words cover, left to right, overlapping words taken together; a
// box that is not finite covers nothing.
std::vector<Span> coveredSpans(const std::vector<Rect>& line)
{
    std::vector<Span> spans;
    for (const Rect& box : line) {
        if (std::isfinite(box.minX()) && std::isfinite(box.maxX()))
            spans.emplace_back(box.minX(), box.maxX());
    }
    std::sort(spans.begin(), spans.end());
    std::vector<Span> merged;
    for (const Span& span : spans) {
        if (!merged.empty() && span.first <= merged.back().second)
            merged.back().second = std::max(merged.back().second, span.second);
        else
            merged.push_back(span);
    }
    return merged;
}

// The bands that no more than `allowed` lines cover, between the text's left and right ends.
std::vector<Span> freeBands(const std::vector<std::vector<Span>>& covered, size_t allowed)
{
    std::vector<std::pair<double, int>> edges;
    for (const std::vector<Span>& spans : covered) {
        for (const Span& span : spans) {
            edges.emplace_back(span.first, 1);
            edges.emplace_back(span.second, -1);
        }
    }
    std::sort(edges.begin(), edges.end());

    std::vector<Span> bands;
    long covering = 0;
    bool open = false;
    double from = 0;
    for (size_t k = 0; k < edges.size();) {
        const double x = edges[k].first;
        while (k < edges.size() && edges[k].first == x)
            covering += edges[k++].second;
        if (k == edges.size())
            break; // past the right end of the text
        const bool free = covering <= static_cast<long>(allowed);
        if (free && !open) {
            open = true;
            from = x;
        } else if (!free && open) {
            open = false;
            bands.emplace_back(from, x);
        }
    }
    return bands;
}

} // namespace

std::optional<ColumnGutter> ColumnGutter::find(const std::vector<std::vector<Rect>>& lines)
{
    std::vector<std::vector<Span>> covered;
    std::vector<double> heights;
    for (const std::vector<Rect>& line : lines) {
        std::vector<Span> spans = coveredSpans(line);
        if (spans.empty())
            continue;
        double tallest = 0;
        for (const Rect& box : line)
            tallest = std::isfinite(box.height()) ? std::max(tallest, box.height()) : tallest;
        heights.push_back(tallest);
        covered.push_back(std::move(spans));
    }
    if (covered.size() < minimumLinesPerSide)
        return std::nullopt;
    std::sort(heights.begin(), heights.end());
    const double minimumWidth = minimumWidthInLineHeights * heights[heights.size() / 2];

    std::optional<ColumnGutter> widest;
    for (const Span& band : freeBands(covered, covered.size() * crossingLinesPerTen / 10)) {
        if (!(band.second - band.first > minimumWidth) || (widest && !(band.second - band.first > widest->width())))
            continue;
        size_t left = 0, right = 0;
        for (const std::vector<Span>& spans : covered) {
            left += spans.front().second <= band.first ? 1 : 0;
            right += spans.back().first >= band.second ? 1 : 0;
        }
        if (left >= minimumLinesPerSide && right >= minimumLinesPerSide)
            widest = ColumnGutter{band.first, band.second};
    }
    return widest;
}

} // namespace lorvantine
