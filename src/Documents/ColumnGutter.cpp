#include "Documents/ColumnGutter.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <utility>

namespace lorvantine {

namespace {

// Several lines on each side: a short last line beside a long one is no column.
constexpr size_t minimumLinesPerSide = 3;
// In heights of a line's words. Spaces between words stay below half of that, and even a loosely
// justified line does not reach it on every line at the same place.
constexpr double minimumWidthInLineHeights = 0.8;
// Lines among the columns' own that may cross a gutter, per ten: a centred page number between
// them, a long word reaching into it.
constexpr size_t crossingLinesPerTen = 1;
// A line of prose runs across its column but where a paragraph ends or a long word went on to the
// next line; a table's cells are as long as their text. Rows are a table's when, on one side of
// its gap, two rows in three hold cells apart (two stretches of text or more), or hold no stretch
// across four fifths of their column while the columns differ in width by more than a fifth: two
// columns of prose (two pages side by side) are as wide as each other, however many short lines
// of dialogue they hold.
constexpr double fillingShareOfColumn = 0.8;
constexpr size_t tableRowsPerThree = 2;
constexpr double equalWidthShare = 0.8;

using Span = std::pair<double, double>;

// A screen line as the stretches of x its words cover, left to right, overlapping words taken
// together; none for a line whose boxes are not finite.
struct PageLine {
    std::vector<Span> spans;
    // Its words taken together where spaces narrower than a gutter part them: stretches of text.
    std::vector<Span> stretches;
    // The median height of its words, the lower of two: an engine may box a mark taller than its
    // line.
    double height = 0;
    // Where its first word ends and its last begins; infinitely far off for a line without words.
    double firstEnd = std::numeric_limits<double>::infinity();
    double lastStart = -std::numeric_limits<double>::infinity();

    bool hasWordsLeftOf(double x) const { return firstEnd <= x; }
    bool hasWordsRightOf(double x) const { return lastStart >= x; }
    bool crosses(double from, double to) const
    {
        // The spans are apart and in order, so their ends are in order too.
        auto reaching = std::upper_bound(spans.begin(), spans.end(), from,
                                         [](double x, const Span& span) { return x < span.second; });
        return reaching != spans.end() && reaching->first < to;
    }

    // Whether the line runs across the band as one stretch of text, as a headline over both
    // columns or a page number centred between them does: the stretch reaching into the band
    // reaches over both its sides, or stands within it and is the line's only one. A column's
    // line that reaches into the band from one side, or a word of a line of both columns that
    // stands in it, does not.
    bool runsAcross(double from, double to) const
    {
        for (const Span& stretch : stretches) {
            if (!(stretch.first < to && stretch.second > from))
                continue;
            const bool reachesLeft = stretch.first <= from, reachesRight = stretch.second >= to;
            return reachesLeft == reachesRight && (reachesLeft || stretches.size() == 1);
        }
        return false;
    }

    // How far the longest of its stretches of text runs within [from, to].
    double longestStretchWithin(double from, double to) const
    {
        double longest = 0;
        for (const Span& stretch : stretches)
            longest = std::max(longest, std::min(to, stretch.second) - std::max(from, stretch.first));
        return longest;
    }
    size_t stretchesWithin(double from, double to) const
    {
        return static_cast<size_t>(std::count_if(stretches.begin(), stretches.end(), [&](const Span& stretch) {
            return stretch.first < to && stretch.second > from;
        }));
    }
};

PageLine pageLine(const std::vector<Rect>& boxes)
{
    PageLine line;
    std::vector<Span> spans;
    std::vector<double> heights;
    spans.reserve(boxes.size());
    heights.reserve(boxes.size());
    for (const Rect& box : boxes) {
        if (std::isfinite(box.minX()) && std::isfinite(box.maxX()))
            spans.emplace_back(box.minX(), box.maxX());
        if (std::isfinite(box.height()))
            heights.push_back(box.height());
    }
    if (!heights.empty()) {
        const auto median = heights.begin() + static_cast<long>((heights.size() - 1) / 2);
        std::nth_element(heights.begin(), median, heights.end());
        line.height = *median;
    }
    std::sort(spans.begin(), spans.end());
    for (const Span& span : spans) {
        if (!line.spans.empty() && span.first <= line.spans.back().second)
            line.spans.back().second = std::max(line.spans.back().second, span.second);
        else
            line.spans.push_back(span);
    }
    if (!line.spans.empty()) {
        line.firstEnd = line.spans.front().second;
        line.lastStart = line.spans.back().first;
    }
    const double widestSpace = minimumWidthInLineHeights * line.height;
    for (const Span& span : line.spans) {
        if (!line.stretches.empty() && !(span.first - line.stretches.back().second > widestSpace))
            line.stretches.back().second = span.second;
        else
            line.stretches.push_back(span);
    }
    return line;
}

// Of where a column's lines reach, the second farthest out (`outward` orders them), or the only
// one: the column's edge, which one word that an engine boxed too wide does not move.
template<typename Outward>
double columnEdge(std::vector<double> reaches, Outward outward)
{
    std::sort(reaches.begin(), reaches.end(), outward);
    return reaches.size() > 1 ? reaches[1] : reaches.front();
}

// How the rows beside a band fill one side of it, [from, to] being the side's column.
struct SideOfRows {
    double from = 0;
    double to = 0;
    size_t shortRows = 0;
    size_t rowsOfCells = 0;

    double width() const { return to - from; }
    void count(const PageLine& row)
    {
        shortRows += row.longestStretchWithin(from, to) < fillingShareOfColumn * width() ? 1 : 0;
        rowsOfCells += row.stretchesWithin(from, to) > 1 ? 1 : 0;
    }
};

// Whether the lines [first, end) beside the band [from, to] are a table's rows (see
// ColumnGutter::betweenTableColumns). A column runs from the band to where its lines reach farthest
// on its side.
bool holdTableRows(const std::vector<PageLine>& lines, size_t first, size_t end, double from, double to)
{
    std::vector<double> leftStarts, rightEnds;
    for (size_t i = first; i < end; ++i) {
        const PageLine& line = lines[i];
        if (line.hasWordsLeftOf(from))
            leftStarts.push_back(line.spans.front().first);
        if (line.hasWordsRightOf(to))
            rightEnds.push_back(line.spans.back().second);
    }
    if (leftStarts.empty() || rightEnds.empty())
        return false;
    SideOfRows left{columnEdge(leftStarts, std::less<>()), from}, right{to, columnEdge(rightEnds, std::greater<>())};
    size_t rows = 0;
    for (size_t i = first; i < end; ++i) {
        if (!lines[i].hasWordsLeftOf(from) || !lines[i].hasWordsRightOf(to))
            continue;
        ++rows;
        left.count(lines[i]);
        right.count(lines[i]);
    }
    auto most = [&](size_t count) { return count * 3 >= rows * tableRowsPerThree; };
    const bool cells = most(std::max(left.rowsOfCells, right.rowsOfCells));
    const bool shortCells = most(std::max(left.shortRows, right.shortRows));
    const bool unequal = std::min(left.width(), right.width()) < equalWidthShare * std::max(left.width(), right.width());
    return rows >= minimumLinesPerSide && (cells || (shortCells && unequal));
}

// The gutter that the band [from, to] is, if it is one; `crossing(i)` tells whether line i
// reaches into the band, `across(i)` whether it runs across it. The columns run from the first
// line that stands right of the band or reaches into it without running across it, to the last
// such line on the left: what comes before them is read before both columns, what comes after
// them after both, so those lines may run across the band. A line that stands on one side only
// up there belongs to the column it stands in all the same, read first or last, unless a line
// across the band stands between it and the columns (the short last line of a caption under
// them). `measured`: the band's width is weighed against the columns' lines, and the lines
// beside it against a table's rows.
template<typename Crossing, typename Across>
std::optional<ColumnGutter> gutterAt(const std::vector<PageLine>& lines, double from, double to, Crossing crossing,
                                     Across across, bool measured)
{
    const size_t none = lines.size();
    size_t first = none, lastRight = none, firstLeft = none, last = none;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (across(i))
            continue;
        if (crossing(i) || lines[i].hasWordsRightOf(to)) {
            first = first == none ? i : first;
            lastRight = i;
        }
        if (crossing(i) || lines[i].hasWordsLeftOf(from)) {
            firstLeft = firstLeft == none ? i : firstLeft;
            last = i;
        }
    }
    if (first == none || last == none)
        return std::nullopt;
    for (size_t i = lastRight + 1; i <= last; ++i) {
        if (across(i)) {
            last = i - 1;
            break;
        }
    }
    for (size_t i = firstLeft; i > first; --i) {
        if (across(i - 1)) {
            first = i;
            break;
        }
    }
    if (last < first)
        return std::nullopt;

    size_t counted = 0, crossings = 0, left = 0, right = 0;
    for (size_t i = first; i <= last; ++i) {
        if (lines[i].spans.empty())
            continue;
        ++counted;
        crossings += crossing(i) ? 1 : 0;
        left += lines[i].hasWordsLeftOf(from) ? 1 : 0;
        right += lines[i].hasWordsRightOf(to) ? 1 : 0;
    }
    if (crossings > counted * crossingLinesPerTen / 10 || left < minimumLinesPerSide || right < minimumLinesPerSide)
        return std::nullopt;
    ColumnGutter gutter{from, to, first, last + 1};
    if (measured) {
        std::vector<double> heights;
        for (size_t i = first; i <= last; ++i) {
            if (!lines[i].spans.empty())
                heights.push_back(lines[i].height);
        }
        std::sort(heights.begin(), heights.end());
        if (!(to - from > minimumWidthInLineHeights * heights[heights.size() / 2]))
            return std::nullopt;
        gutter.betweenTableColumns = holdTableRows(lines, first, last + 1, from, to);
    }
    return gutter;
}

std::optional<ColumnGutter> gutterAt(const std::vector<PageLine>& lines, double from, double to)
{
    return gutterAt(
        lines, from, to, [&](size_t i) { return lines[i].crosses(from, to); },
        [&](size_t i) { return lines[i].runsAcross(from, to); }, true);
}

// The parts of [from, to] between its edges, widest first (of equally wide ones the leftmost):
// where lines reaching into a band taken too wide leave more of them in it than a gutter allows,
// the gutter is the widest part of the band that few enough of them reach into. The line that
// reaches in may be a column's (a long word) or one above the columns (a byline, a standfirst's
// short last line) that ends a little short of the other column.
std::vector<Span> narrowed(const std::vector<double>& edges, double from, double to)
{
    const auto first = std::lower_bound(edges.begin(), edges.end(), from);
    const auto end = std::upper_bound(edges.begin(), edges.end(), to);
    std::vector<Span> parts;
    for (auto a = first; a != end; ++a) {
        for (auto b = a + 1; b != end; ++b) {
            if (*a != from || *b != to)
                parts.emplace_back(*a, *b);
        }
    }
    std::stable_sort(parts.begin(), parts.end(),
                     [](const Span& x, const Span& y) { return x.second - x.first > y.second - y.first; });
    return parts;
}

} // namespace

std::optional<ColumnGutter> ColumnGutter::find(const std::vector<std::vector<Rect>>& boxes)
{
    std::vector<PageLine> lines;
    std::vector<double> edges;
    for (const std::vector<Rect>& line : boxes) {
        lines.push_back(pageLine(line));
        for (const Span& span : lines.back().spans) {
            edges.push_back(span.first);
            edges.push_back(span.second);
        }
    }
    std::sort(edges.begin(), edges.end());
    edges.erase(std::unique(edges.begin(), edges.end()), edges.end());

    // Between neighbouring edges every line either covers the interval or leaves it empty, and
    // runs across it or not. Intervals that could part columns are taken together into bands,
    // and each band is weighed whole.
    const size_t intervals = edges.empty() ? 0 : edges.size() - 1;
    std::vector<char> covered(intervals * lines.size()), spanned(intervals * lines.size());
    std::vector<size_t> covering(intervals);
    size_t written = 0;
    auto mark = [&](const Span& span, size_t line, std::vector<char>& table, bool count) {
        auto k = static_cast<size_t>(std::lower_bound(edges.begin(), edges.end(), span.first) - edges.begin());
        for (; edges[k] < span.second; ++k) {
            table[k * lines.size() + line] = 1;
            covering[k] += count ? 1 : 0;
        }
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        written += lines[i].spans.empty() ? 0 : 1;
        for (const Span& span : lines[i].spans)
            mark(span, i, covered, true);
        for (const Span& stretch : lines[i].stretches)
            mark(stretch, i, spanned, false);
    }
    std::vector<Span> bands;
    for (size_t k = 0; k < intervals; ++k) {
        // Nearly all lines beside a gutter leave it empty, and there are several of them.
        if (written - covering[k] < minimumLinesPerSide)
            continue;
        auto covers = [&](size_t i) { return covered[k * lines.size() + i] != 0; };
        auto spans = [&](size_t i) { return spanned[k * lines.size() + i] != 0; };
        if (!gutterAt(lines, edges[k], edges[k + 1], covers, spans, false))
            continue;
        if (!bands.empty() && bands.back().second == edges[k])
            bands.back().second = edges[k + 1];
        else
            bands.emplace_back(edges[k], edges[k + 1]);
    }

    std::optional<ColumnGutter> widest;
    auto consider = [&](const Span& band) {
        if (widest && !(band.second - band.first > widest->width()))
            return true;
        std::optional<ColumnGutter> gutter = gutterAt(lines, band.first, band.second);
        if (gutter)
            widest = gutter;
        return gutter.has_value();
    };
    for (const Span& band : bands) {
        if (consider(band))
            continue;
        // Widest first: the first part that is a gutter, or that is no wider than one found, ends the search.
        for (const Span& narrower : narrowed(edges, band.first, band.second)) {
            if (consider(narrower))
                break;
        }
    }
    return widest;
}

} // namespace lorvantine
