// Content validation of a 100,000-Character page (goal: under 200 ms, memory linear in the text),
// side by side with the plain way: two sets holding a copy of every 20-Character window.
// Peak heap per call is counted by replacing the global allocator of this program.
#include "Core/ContentValidator.h"
#include "Support/Text.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <string>
#include <unordered_set>
#include <vector>

// The replaced operators below pair malloc with free; GCC sees only the new/free half of the pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

namespace {
std::atomic<size_t> s_heapInUse { 0 };
std::atomic<size_t> s_heapPeak { 0 };
} // namespace

void* operator new(size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    const size_t now = s_heapInUse += malloc_usable_size(block);
    size_t peak = s_heapPeak.load();
    while (now > peak && !s_heapPeak.compare_exchange_weak(peak, now)) { }
    return block;
}
void operator delete(void* block) noexcept
{
    if (!block)
        return;
    s_heapInUse -= malloc_usable_size(block);
    std::free(block);
}
void operator delete(void* block, size_t) noexcept { operator delete(block); }

namespace lorvantine {
namespace {

constexpr size_t pageCharacters = 100000;

// Mixed Chinese and English sentences, numbered so that windows rarely repeat.
std::vector<ArticleParagraph> pageParagraphs()
{
    std::vector<ArticleParagraph> paragraphs;
    size_t total = 0;
    for (int i = 0; total < pageCharacters; ++i) {
        std::string text = "第" + std::to_string(i) + "段：慢读的力量在于每一句都被听见。 Paragraph " + std::to_string(i)
            + " says something worth reading aloud, slowly and clearly.";
        total += Text::characterCount(text);
        paragraphs.push_back(ArticleParagraph { .index = i, .text = std::move(text) });
    }
    return paragraphs;
}

std::string groundTruthOf(const std::vector<ArticleParagraph>& paragraphs)
{
    std::string text;
    for (size_t i = 0; i < paragraphs.size(); ++i) {
        if (i % 40 == 0)
            text += "Navigation and footer text that the extraction leaves out.\n";
        text += paragraphs[i].text + "\n";
    }
    return text;
}

// The plain way: every window copied into its own string, in two sets.
double copiedWindowCoverage(const std::vector<ArticleParagraph>& paragraphs, const std::string& groundTruth)
{
    auto windows = [](std::string_view text) {
        std::vector<std::string> characters;
        for (std::string& character : Text::characters(text)) {
            if (!Text::isWhitespaceCharacter(character) && !Text::isNewlineCharacter(character))
                characters.push_back(std::move(character));
        }
        std::unordered_set<std::string> set;
        for (size_t start = 0; start + 20 <= characters.size(); ++start) {
            std::string window;
            for (size_t k = 0; k < 20; ++k)
                window += characters[start + k];
            set.insert(std::move(window));
        }
        return set;
    };
    std::vector<std::string> texts;
    for (const ArticleParagraph& paragraph : paragraphs)
        texts.push_back(paragraph.text);
    const auto g = windows(groundTruth);
    const auto e = windows(Text::joined(texts, "\n"));
    size_t shared = 0;
    for (const std::string& window : e)
        shared += g.contains(window) ? 1 : 0;
    return static_cast<double>(shared) / static_cast<double>(g.size());
}

template<typename Run>
void measure(benchmark::State& state, Run run)
{
    const auto paragraphs = pageParagraphs();
    const std::string truth = groundTruthOf(paragraphs);
    size_t peak = 0;
    for (auto _ : state) {
        const size_t before = s_heapInUse.load();
        s_heapPeak = before;
        benchmark::DoNotOptimize(run(paragraphs, truth));
        peak = s_heapPeak.load() - before;
    }
    state.counters["peak_heap_MB"] = static_cast<double>(peak) / 1e6;
    state.counters["text_MB"] = static_cast<double>(truth.size()) / 1e6;
}

void BM_ContentValidatorWindowViews(benchmark::State& state)
{
    measure(state, [](const auto& paragraphs, const std::string& truth) {
        return ContentValidator::validate(paragraphs, truth, 1).coverage;
    });
}
BENCHMARK(BM_ContentValidatorWindowViews)->Unit(benchmark::kMillisecond);

// Coverage only: the plain way's full report would cost more still.
void BM_ContentValidatorCopiedWindows(benchmark::State& state)
{
    measure(state, [](const auto& paragraphs, const std::string& truth) { return copiedWindowCoverage(paragraphs, truth); });
}
BENCHMARK(BM_ContentValidatorCopiedWindows)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
