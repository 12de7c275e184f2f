#include "Support/Text.h"

#include <benchmark/benchmark.h>

using namespace lorvantine;

namespace {

// Roughly what a reader meets: English and Chinese prose, a line break, emoji, a combining mark.
std::string mixedText(size_t characters)
{
    const std::string pattern = "The quick brown fox jumps. 中文段落里的句子，还有标点。🙂 Café\r\n👨\u200D👩\u200D👧 🇨🇳 e\u0301! ";
    const size_t patternCharacters = Text::characterCount(pattern);
    std::string text;
    for (size_t count = 0; count < characters; count += patternCharacters)
        text += pattern;
    return Text::characterPrefix(text, characters);
}

std::string chineseText(size_t characters)
{
    std::string text;
    for (size_t i = 0; i < characters; ++i)
        text += (i % 10 == 9) ? "。" : "汉";
    return text;
}

void characterCountMixed(benchmark::State& state)
{
    const std::string text = mixedText(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Text::characterCount(text));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void characterCountChinese(benchmark::State& state)
{
    const std::string text = chineseText(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Text::characterCount(text));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

// The offset of the last Character: the whole text is walked.
void utf16OffsetFromCharacterOffsetMixed(benchmark::State& state)
{
    const size_t characters = static_cast<size_t>(state.range(0));
    const std::string text = mixedText(characters);
    for (auto _ : state)
        benchmark::DoNotOptimize(Text::utf16OffsetFromCharacterOffset(text, characters - 1));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}

void characterPrefix80Mixed(benchmark::State& state)
{
    const std::string text = mixedText(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(Text::characterPrefix(text, 80));
}

} // namespace

BENCHMARK(characterCountMixed)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(characterCountChinese)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(utf16OffsetFromCharacterOffsetMixed)->Arg(1000)->Arg(10000)->Arg(100000);
BENCHMARK(characterPrefix80Mixed)->Arg(100000);

BENCHMARK_MAIN();
