#include "Documents/SelectionOCRBuilder.h"
#include "TestSupport/NaiveSelectionAlignment.h"

#include <benchmark/benchmark.h>

#include <random>

using namespace lorvantine;

namespace {

// A copied selection of `clipCount` words of ordinary prose, and the words recognised around
// it: the same words with now and then a misread letter, a merge or a split, and unselected
// words before and after, `ocrCount` in all, laid out in lines.
struct AlignmentInput {
    std::vector<std::string> clipWords;
    std::vector<int> clipOffsets;
    std::vector<RecognizedWord> ocrWords;
};

AlignmentInput makeInput(int clipCount, int ocrCount)
{
    static const std::vector<std::string> vocabulary { "the", "reading", "of", "selection", "window", "text", "and",
        "recognised", "words", "highlight", "paragraph", "speech", "server", "application", "editor", "copy", "a",
        "line", "box", "screen", "to", "with", "data-driven", "alignment", "is", "clipboard", "between", "each" };
    std::mt19937 random(7);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    AlignmentInput input;
    int offset = 0;
    for (int i = 0; i < clipCount; ++i) {
        input.clipWords.push_back(vocabulary[pick(vocabulary.size())]);
        input.clipOffsets.push_back(offset);
        offset += static_cast<int>(input.clipWords.back().size()) + 1;
    }
    std::vector<std::string> shown;
    const int around = std::max(0, ocrCount - clipCount);
    for (int i = 0; i < around / 2; ++i)
        shown.push_back(vocabulary[pick(vocabulary.size())]);
    for (const std::string& word : input.clipWords) {
        std::string text = word;
        if (pick(10) == 0 && text.size() > 3)
            text[1] = 'x';
        shown.push_back(text);
    }
    while (static_cast<int>(shown.size()) < ocrCount)
        shown.push_back(vocabulary[pick(vocabulary.size())]);
    double x = 0, y = 0;
    for (const std::string& text : shown) {
        const double width = 8.0 * static_cast<double>(text.size());
        if (x + width > 800) {
            x = 0;
            y += 24;
        }
        input.ocrWords.push_back({ text, Rect(x, y, width, 18) });
        x += width + 6;
    }
    return input;
}

void alignment(benchmark::State& state)
{
    const AlignmentInput input = makeInput(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(SelectionOCRBuilder::alignWordLevel(input.clipWords, input.clipOffsets, input.ocrWords));
}

void alignmentStraightforward(benchmark::State& state)
{
    const AlignmentInput input = makeInput(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
    for (auto _ : state)
        benchmark::DoNotOptimize(naiveAlignWordLevel(input.clipWords, input.clipOffsets, input.ocrWords));
}

} // namespace

// Goals: 100 × 150 words within 20 ms, 500 × 600 within 150 ms.
BENCHMARK(alignment)->Args({ 100, 150 })->Args({ 500, 600 })->Unit(benchmark::kMillisecond);
BENCHMARK(alignmentStraightforward)->Args({ 100, 150 })->Args({ 500, 600 })->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
