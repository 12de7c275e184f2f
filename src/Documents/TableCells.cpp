#include "Documents/TableCells.h"

#include "Documents/PageWords.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace lorvantine::TableCells {

namespace {

using Line = std::vector<RecognizedWord>;
// One line's words by the table's columns, left to right.
using Cells = std::vector<std::vector<RecognizedWord>>;

// In heights of the table's words. The blank between two columns is as wide as a gutter must be;
// the spaces between a cell's words stay below it. A space is about a quarter of a word's height.
constexpr double tableColumnGapInHeights = 0.8;
constexpr double cellSpaceInHeights = 0.25;

struct ColumnExtent {
    double minX, maxX;
};

// The stretches of x that the table's words cover, taken together where less than a column's gap
// parts them: one per column, left to right.
std::vector<ColumnExtent> columnsOf(const std::vector<RecognizedWord>& words, double gap)
{
    std::vector<ColumnExtent> spans;
    for (const RecognizedWord& word : words) {
        if (std::isfinite(word.screenRect.minX()) && std::isfinite(word.screenRect.maxX()))
            spans.push_back({word.screenRect.minX(), word.screenRect.maxX()});
    }
    std::sort(spans.begin(), spans.end(), [](const ColumnExtent& a, const ColumnExtent& b) { return a.minX < b.minX; });
    std::vector<ColumnExtent> columns;
    for (const ColumnExtent& span : spans) {
        if (!columns.empty() && !(span.minX - columns.back().maxX > gap))
            columns.back().maxX = std::max(columns.back().maxX, span.maxX);
        else
            columns.push_back(span);
    }
    return columns;
}

// The column whose stretch holds the word's centre; a word whose box is not finite goes with the
// first.
size_t columnOf(const std::vector<ColumnExtent>& columns, const Rect& box)
{
    const double centre = box.midX();
    for (size_t c = 0; c + 1 < columns.size(); ++c) {
        if (centre < (columns[c].maxX + columns[c + 1].minX) / 2)
            return c;
    }
    return columns.empty() ? 0 : columns.size() - 1;
}

} // namespace

std::vector<RecognizedWord> readingOrder(std::span<const std::vector<RecognizedWord>> lines)
{
    std::vector<RecognizedWord> words;
    for (const Line& line : lines)
        words.insert(words.end(), line.begin(), line.end());
    const double height = PageWords::medianHeight(words);
    const std::vector<ColumnExtent> columns = columnsOf(words, tableColumnGapInHeights * height);

    // Each row as its lines' cells; `last` is, for each column, the row's last line with words in it.
    struct Row {
        std::vector<Cells> lines;
        std::vector<std::optional<size_t>> last;
    };
    std::vector<Row> rows;
    for (const Line& line : lines) {
        Cells cells(std::max<size_t>(columns.size(), 1));
        for (const RecognizedWord& word : line)
            cells[columnOf(columns, word.screenRect)].push_back(word);

        bool continuesRow = !rows.empty();
        if (continuesRow) {
            const Row& row = rows.back();
            bool leavesACellEmpty = false;
            for (size_t c = 0; c < cells.size() && continuesRow; ++c) {
                if (cells[c].empty()) {
                    leavesACellEmpty = leavesACellEmpty || row.last[c];
                    continue;
                }
                const std::vector<RecognizedWord>* above = row.last[c] ? &row.lines[*row.last[c]][c] : nullptr;
                // A cell's text runs onto the next line only where its next word would not fit, and
                // a line of one word (a time, a price, a name) is no line that was broken.
                const double next = cells[c].front().screenRect.width();
                continuesRow = above && PageWords::wordCount(*above) > 1
                    && PageWords::unionOf(*above).maxX() + cellSpaceInHeights * height + next > columns[c].maxX;
            }
            continuesRow = continuesRow && leavesACellEmpty;
        }
        if (!continuesRow)
            rows.push_back({{}, std::vector<std::optional<size_t>>(cells.size())});
        Row& row = rows.back();
        for (size_t c = 0; c < cells.size(); ++c) {
            if (!cells[c].empty())
                row.last[c] = row.lines.size();
        }
        row.lines.push_back(std::move(cells));
    }

    std::vector<RecognizedWord> out;
    for (const Row& row : rows) {
        for (size_t c = 0; c < row.last.size(); ++c) {
            for (const Cells& cells : row.lines)
                out.insert(out.end(), cells[c].begin(), cells[c].end());
        }
    }
    return out;
}

} // namespace lorvantine::TableCells
