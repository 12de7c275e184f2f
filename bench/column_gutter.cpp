// Finding the gutter of a recognised page, as VisionOCR does for every page it reads: the word
// boxes of pages laid out as readers see them, grouped into screen lines top to bottom.
#include "Documents/ColumnGutter.h"
#include "TestSupport/TextImageRenderer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>

using namespace lorvantine;

namespace {

using Lines = std::vector<std::vector<Rect>>;

const std::string story
    = "Rain had fallen for three days when the river finally rose above the old stone markers. The miller moved "
      "his sacks to the upper floor and tied the boat to the iron ring beside the door. By the fourth morning the "
      "water had reached the church steps, and the children were sent to stay with their cousins at the hill "
      "farm, where the ground was dry and the bread was still warm. ";

std::string repeated(const std::string& text, int times)
{
    std::string out;
    for (int i = 0; i < times; ++i)
        out += text;
    return out;
}

// The words of `text` laid out `width` points wide from (x, y), added to the page's lines by their top.
void layOut(std::map<long, std::vector<Rect>>& page, const std::string& text, double size, double width, double x, double y)
{
    testing::TextImageRenderer::Options options;
    options.family = "DejaVu Serif";
    options.fontSize = size;
    options.wrapWidth = width;
    options.margin = 0;
    for (const auto& word : testing::TextImageRenderer::render(text, options).words) {
        const Rect box(x + word.logical.minX(), y + word.logical.minY(), word.logical.width(), word.logical.height());
        page[std::lround(box.minY())].push_back(box);
    }
}

Lines linesOf(const std::map<long, std::vector<Rect>>& page)
{
    Lines lines;
    for (const auto& [top, line] : page)
        lines.push_back(line);
    return lines;
}

// Two columns of 280 points, 36 apart, of 30 lines each.
Lines twoColumns()
{
    std::map<long, std::vector<Rect>> page;
    layOut(page, repeated(story, 3), 14, 280, 100, 100);
    layOut(page, repeated(story, 3), 14, 280, 416, 100);
    return linesOf(page);
}

// A headline and a standfirst across the page over the same columns.
Lines columnsUnderAHeadline()
{
    std::map<long, std::vector<Rect>> page;
    layOut(page, "Village Hall Reopens After a Winter of Repairs", 26, 600, 100, 20);
    layOut(page, story, 16, 600, 100, 60);
    layOut(page, repeated(story, 3), 14, 280, 100, 200);
    layOut(page, repeated(story, 3), 14, 280, 416, 200);
    return linesOf(page);
}

Lines oneColumn()
{
    std::map<long, std::vector<Rect>> page;
    layOut(page, repeated(story, 6), 14, 560, 100, 100);
    return linesOf(page);
}

// Eight rows of three cells.
Lines table()
{
    const char* rows[][3] = {{"Time", "Session", "Room"}, {"09:30", "Welcome from the head teacher", "Foyer"},
                             {"10:00", "Reading with your child", "Hall"}, {"10:45", "Maths games to play at home", "Library"},
                             {"11:30", "Meet the class teachers", "Room 4"}, {"12:15", "Lunch", "Canteen"},
                             {"13:00", "Questions and answers", "Hall"}, {"13:45", "School tour", "Hall"}};
    std::map<long, std::vector<Rect>> page;
    double top = 100;
    for (const auto& row : rows) {
        layOut(page, row[0], 14, 300, 140, top);
        layOut(page, row[1], 14, 300, 230, top);
        layOut(page, row[2], 14, 300, 560, top);
        top += 28;
    }
    return linesOf(page);
}

void find(benchmark::State& state, Lines (*page)())
{
    const Lines lines = page();
    for (auto _ : state)
        benchmark::DoNotOptimize(ColumnGutter::find(lines));
}

} // namespace

BENCHMARK_CAPTURE(find, twoColumns, twoColumns);
BENCHMARK_CAPTURE(find, columnsUnderAHeadline, columnsUnderAHeadline);
BENCHMARK_CAPTURE(find, oneColumn, oneColumn);
BENCHMARK_CAPTURE(find, table, table);

BENCHMARK_MAIN();
