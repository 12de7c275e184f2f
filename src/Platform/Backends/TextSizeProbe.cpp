#include "Platform/Backends/TextSizeProbe.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace lorvantine::TextSizeProbe {

namespace {

constexpr int inkContrast = 96; // as LineInk: what stands out this far from the background

// The picture is read in vertical strips, so that lines of two columns side by side, whose rows
// rarely line up, are not taken for one tall line.
constexpr int stripWidth = 384;

// In pixels of the picture as given: twice what Tesseract would see at half size.
constexpr int smallestLatinXHeight = 14;
constexpr int smallestFullWidthHeight = 36;

// Runs of inked rows outside these heights are rules, specks, pictures or boxes, not text; a line
// with less ink across than six times its height (a word or two) is too short to judge.
constexpr int lowestLine = 4;
constexpr int tallestLine = 160;
constexpr int shortestLine = 6;

// Small Latin text read at half size loses a word here and there; small Chinese loses whole
// stretches, so almost none of it is let through.
constexpr double toleratedSmallLatin = 0.05;
constexpr double toleratedSmallFullWidth = 0.01;

struct Tally {
    size_t text = 0; // ink of all lines judged
    size_t smallLatin = 0;
    size_t smallFullWidth = 0;
};

struct Strip {
    const GrayImage& image;
    int left = 0;
    int right = 0;
    int background = 255;

    bool isInk(int x, int y) const { return std::abs(image.at(x, y) - background) > inkContrast; }
};

// The median shade is the background: text covers far less than half of a strip. Every fourth
// row is enough to find it.
int backgroundOf(const GrayImage& image, int left, int right)
{
    std::array<size_t, 256> histogram{};
    size_t count = 0;
    for (int y = 0; y < image.height; y += 4) {
        for (int x = left; x < right; ++x)
            ++histogram[image.at(x, y)];
        count += static_cast<size_t>(right - left);
    }
    const size_t half = count / 2;
    size_t seen = 0;
    for (size_t shade = 0; shade < histogram.size(); ++shade) {
        seen += histogram[shade];
        if (seen > half)
            return static_cast<int>(shade);
    }
    return 255;
}

// The runs of inked columns of a line (letters or groups of them, characters or their parts):
// their total width, and the width of those that reach over nearly all of the line's rows.
struct Columns {
    int width = 0;
    int tallWidth = 0;
};

Columns columnsOf(const Strip& strip, int top, int bottom)
{
    Columns columns;
    const int height = bottom - top;
    int runTop = 0, runBottom = 0, runWidth = 0;
    auto endRun = [&] {
        columns.width += runWidth;
        if ((runBottom - runTop) * 100 >= height * 85)
            columns.tallWidth += runWidth;
        runWidth = 0;
    };
    for (int x = strip.left; x < strip.right; ++x) {
        int first = bottom, last = top - 1;
        for (int y = top; y < bottom; ++y) {
            if (strip.isInk(x, y)) {
                first = std::min(first, y);
                last = y;
            }
        }
        if (last < first) {
            endRun();
            continue;
        }
        runTop = runWidth ? std::min(runTop, first) : first;
        runBottom = runWidth ? std::max(runBottom, last + 1) : last + 1;
        ++runWidth;
    }
    endRun();
    return columns;
}

// A line's ink row by row.
struct RowShape {
    int core = 0;      // the longest run of well-inked rows: a Latin line's x-height
    int sparseTop = 0; // rows of the upper third with little ink: above a Latin line's x-height
};

RowShape rowShapeOf(const std::vector<int>& rows)
{
    std::vector<int> sorted = rows;
    std::sort(sorted.begin(), sorted.end());
    const int median = sorted[sorted.size() / 2];
    // Rows between the x-height and the baseline hold most of a Latin line's ink, so a quarter of
    // the rows holds more ink than the full row. Against it, ascenders and descenders are sparse.
    const int full = sorted[sorted.size() * 3 / 4];
    RowShape shape;
    for (size_t row = 0, run = 0; row < rows.size(); ++row) {
        run = rows[row] * 10 >= full * 4 ? run + 1 : 0;
        shape.core = std::max(shape.core, static_cast<int>(run));
    }
    for (size_t row = 0; row < rows.size() / 3; ++row) {
        if (rows[row] * 2 < median)
            ++shape.sparseTop;
    }
    return shape;
}

void tallyLine(const Strip& strip, int top, const std::vector<int>& rows, Tally& tally)
{
    const int height = static_cast<int>(rows.size());
    if (height < lowestLine || height > tallestLine)
        return;
    const Columns columns = columnsOf(strip, top, top + height);
    if (columns.width < shortestLine * height)
        return;
    const RowShape shape = rowShapeOf(rows);

    // A Chinese or Japanese character fills a square of the line's height: most column runs
    // reach from top to bottom and the upper rows hold as much ink as the rest. In Latin script
    // only ascenders reach that far, over a line without descenders, with little ink beside them.
    const bool fullWidth = columns.tallWidth * 10 >= columns.width * 6 && shape.sparseTop * 100 <= height * 15;
    size_t ink = 0;
    for (int row : rows)
        ink += static_cast<size_t>(row);
    tally.text += ink;
    if (fullWidth && height < smallestFullWidthHeight)
        tally.smallFullWidth += ink;
    else if (!fullWidth && shape.core < smallestLatinXHeight)
        tally.smallLatin += ink;
}

void tallyStrip(const Strip& strip, Tally& tally)
{
    std::vector<int> ink(static_cast<size_t>(strip.image.height));
    for (int y = 0; y < strip.image.height; ++y) {
        for (int x = strip.left; x < strip.right; ++x)
            ink[static_cast<size_t>(y)] += strip.isInk(x, y) ? 1 : 0;
    }
    for (auto row = ink.begin(); row != ink.end();) {
        if (*row == 0) {
            ++row;
            continue;
        }
        auto end = std::find(row, ink.end(), 0);
        tallyLine(strip, static_cast<int>(row - ink.begin()), std::vector<int>(row, end), tally);
        row = end;
    }
}

} // namespace

bool readableAtHalfSize(const GrayImage& image)
{
    Tally tally;
    for (int left = 0; left < image.width;) {
        // A narrow remainder joins the last strip.
        const int right = image.width - left < stripWidth * 3 / 2 ? image.width : left + stripWidth;
        tallyStrip(Strip{image, left, right, backgroundOf(image, left, right)}, tally);
        left = right;
    }
    if (tally.text == 0)
        return false;
    const double text = static_cast<double>(tally.text);
    return static_cast<double>(tally.smallFullWidth) <= toleratedSmallFullWidth * text
        && static_cast<double>(tally.smallLatin) <= toleratedSmallLatin * text;
}

} // namespace lorvantine::TextSizeProbe
