#include "Platform/Backends/LineInk.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace lorvantine {

namespace {
constexpr int inkContrast = 96;
}

LineInk::LineInk(const GrayImage& image, const Box& band) : m_image(image)
{
    m_band.left = std::clamp(band.left, 0, image.width);
    m_band.right = std::clamp(band.right, m_band.left, image.width);
    m_band.top = std::clamp(band.top, 0, image.height);
    m_band.bottom = std::clamp(band.bottom, m_band.top, image.height);

    // Text covers far less than half of its line, so the median is the background.
    std::vector<uint8_t> values;
    for (int y = m_band.top; y < m_band.bottom; ++y) {
        for (int x = m_band.left; x < m_band.right; ++x)
            values.push_back(image.at(x, y));
    }
    if (!values.empty()) {
        std::nth_element(values.begin(), values.begin() + static_cast<long>(values.size() / 2), values.end());
        m_background = values[values.size() / 2];
    }
}

bool LineInk::columnHasInk(int x) const
{
    if (x < 0 || x >= m_image.width)
        return false;
    for (int y = m_band.top; y < m_band.bottom; ++y) {
        if (std::abs(m_image.at(x, y) - m_background) > inkContrast)
            return true;
    }
    return false;
}

std::optional<LineInk::Box> LineInk::inkIn(int left, int right) const
{
    left = std::max(left, 0);
    right = std::min(right, m_image.width);
    Box ink{right, m_band.bottom, left, m_band.top};
    for (int y = m_band.top; y < m_band.bottom; ++y) {
        for (int x = left; x < right; ++x) {
            if (std::abs(m_image.at(x, y) - m_background) > inkContrast) {
                ink = {std::min(ink.left, x), std::min(ink.top, y), std::max(ink.right, x + 1), std::max(ink.bottom, y + 1)};
            }
        }
    }
    if (ink.right <= ink.left)
        return std::nullopt;
    return ink;
}

std::vector<LineInk::Box> LineInk::placeFullWidth(int left, int right, size_t count) const
{
    std::optional<Box> runInk = inkIn(left, right);
    if (!runInk || count == 0 || runInk->bottom - runInk->top < 2)
        return {};
    if (count == 1)
        return {*runInk};

    const double inkHeight = runInk->bottom - runInk->top;
    // The tallest glyphs reach a little past the em in some fonts.
    const double lowest = 0.9 * inkHeight, highest = 1.25 * inkHeight;
    const int windowLeft = std::max(0, runInk->left - static_cast<int>(std::ceil(highest)));
    const int windowRight = std::min(m_image.width, runInk->left + static_cast<int>(std::ceil(highest * static_cast<double>(count + 1))));

    // How far each column is from the nearest ink, up to a few pixels.
    constexpr int clearanceCap = 3;
    std::vector<int> clearance(static_cast<size_t>(std::max(windowRight - windowLeft, 0)), clearanceCap);
    for (int x = windowLeft; x < windowRight; ++x) {
        if (columnHasInk(x))
            clearance[static_cast<size_t>(x - windowLeft)] = 0;
    }
    for (size_t i = 1; i < clearance.size(); ++i)
        clearance[i] = std::min(clearance[i], clearance[i - 1] + 1);
    for (size_t i = clearance.size(); i-- > 1;)
        clearance[i - 1] = std::min(clearance[i - 1], clearance[i] + 1);
    auto clearanceAt = [&](double position) {
        int x = static_cast<int>(std::floor(position));
        return x >= windowLeft && x < windowRight ? clearance[static_cast<size_t>(x - windowLeft)] : clearanceCap;
    };

    // Edges past the end of the ink are all clear, so a wider grid would always win: a grid whose
    // last cell holds the end of the ink comes first. Only when the count cannot be made to fit
    // (the engine read a character too many or too few) does the best grid of any width serve.
    struct Grid {
        double start = 0;
        double pitch = 0;
        int score = std::numeric_limits<int>::min();
    };
    Grid spanning, any;
    const double inkEnd = runInk->right;
    const double cells = static_cast<double>(count);
    for (double p = lowest; p <= highest; p += 0.02) {
        for (double offset = 0; offset <= p / 2; offset += 0.25) {
            double s = runInk->left - offset;
            // An edge through ink costs more than a clear edge earns.
            int score = 0;
            for (size_t i = 0; i <= count; ++i) {
                int clear = clearanceAt(s + static_cast<double>(i) * p);
                score += clear == 0 ? -4 : std::min(clear, 2);
            }
            if (score > any.score)
                any = {s, p, score};
            if (score > spanning.score && s + (cells - 1) * p < inkEnd && inkEnd <= s + cells * p + 2)
                spanning = {s, p, score};
        }
    }
    const Grid& grid = spanning.pitch > 0 ? spanning : any;
    const double start = grid.start, pitch = grid.pitch;

    // Ink that runs in across a cell's edge, two columns or less, belongs to the neighbour.
    auto inkRunFrom = [&](int x, int step) {
        int n = 0;
        while (n < 3 && columnHasInk(x + n * step))
            ++n;
        return n;
    };
    std::vector<Box> boxes;
    for (size_t i = 0; i < count; ++i) {
        int x0 = static_cast<int>(std::floor(start + static_cast<double>(i) * pitch));
        int x1 = static_cast<int>(std::floor(start + static_cast<double>(i + 1) * pitch));
        int from = x0, to = x1;
        if (columnHasInk(x0 - 1) && inkRunFrom(x0, 1) <= 2)
            from = x0 + inkRunFrom(x0, 1);
        if (columnHasInk(x1) && inkRunFrom(x1 - 1, -1) <= 2)
            to = x1 - inkRunFrom(x1 - 1, -1);
        std::optional<Box> ink = inkIn(from, to);
        if (!ink)
            ink = inkIn(x0, x1);
        boxes.push_back(ink.value_or(Box{std::max(x0, 0), runInk->top, std::max(x1, x0 + 1), runInk->bottom}));
    }
    return boxes;
}

std::optional<std::pair<int, int>> LineInk::inkedRowsAround(int y, int left, int right) const
{
    left = std::max(left, 0);
    right = std::min(right, m_image.width);
    auto rowHasInk = [&](int row) {
        for (int x = left; x < right; ++x) {
            if (std::abs(m_image.at(x, row) - m_background) > inkContrast)
                return true;
        }
        return false;
    };
    if (y < m_band.top || y >= m_band.bottom || !rowHasInk(y))
        return std::nullopt;
    int top = y, bottom = y + 1;
    while (top > m_band.top && rowHasInk(top - 1))
        --top;
    while (bottom < m_band.bottom && rowHasInk(bottom))
        ++bottom;
    return std::pair{top, bottom};
}

std::optional<std::pair<int, int>> LineInk::widestGap(int left, int right) const
{
    std::optional<std::pair<int, int>> widest;
    for (int x = std::max(left, 0); x < std::min(right, m_image.width);) {
        if (columnHasInk(x)) {
            ++x;
            continue;
        }
        int end = x;
        while (end < right && end < m_image.width && !columnHasInk(end))
            ++end;
        if (!widest || end - x > widest->second - widest->first)
            widest = std::pair{x, end};
        x = end;
    }
    return widest;
}

LineInk::Box LineInk::widenedOverNearbyInk(const Box& box, Side side) const
{
    // One small group of ink columns after a gap narrower than a space: a stop, a comma, a quote.
    const int lineHeight = m_band.bottom - m_band.top;
    const int reach = std::max(1, lineHeight / 4), widest = std::max(1, lineHeight / 3);
    const int step = side == Side::trailing ? 1 : -1;
    int x = (side == Side::trailing ? box.right : box.left - 1);
    int gap = 0;
    while (gap <= reach && x >= 0 && x < m_image.width && !columnHasInk(x)) {
        x += step;
        ++gap;
    }
    if (gap > reach || !columnHasInk(x))
        return box;
    int first = x, width = 0;
    while (columnHasInk(x) && width <= widest) {
        x += step;
        ++width;
    }
    if (width > widest)
        return box;
    int last = x - step;
    std::optional<Box> ink = inkIn(std::min(first, last), std::max(first, last) + 1);
    if (!ink)
        return box;
    return {std::min(box.left, ink->left), std::min(box.top, ink->top), std::max(box.right, ink->right),
            std::max(box.bottom, ink->bottom)};
}

} // namespace lorvantine
