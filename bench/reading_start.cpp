// The main thread's part of a long reading's start, side by side: the reading session started
// with the plain list of paragraphs (the language found and the overlay's and the speech
// generation's lists made on the main thread, as every start did before), and started with
// paragraphs prepared beforehand where they were found (what the window road now hands it). The
// argument is the number of paragraphs, each two sentences of prose on a Safari page.
#include "Core/ArticleReader.h"
#include "Core/PreparedParagraphs.h"
#include "Network/TTSClient.h"
#include "Support/Log.h"

#include "BenchDesktops.h"

#include <benchmark/benchmark.h>

namespace lorvantine {
namespace {

constexpr uint32_t windowNumber = 7;

std::vector<ArticleParagraph> prose(int count)
{
    static const char* sentences[] = {
        "The lamp by the window had burned low, and the house was quiet but for the rain.",
        "She turned the page slowly, as if the words might change if she hurried them.",
        "Somewhere down the street a dog barked twice and then thought better of it.",
    };
    std::vector<ArticleParagraph> paragraphs;
    for (int i = 0; i < count; ++i)
        paragraphs.push_back({ .index = i,
                               .text = std::string(sentences[i % 3]) + " " + sentences[(i + 1) % 3],
                               .frame = Rect(140, 120 + 60.0 * i, 920, 48),
                               .role = "AXGroup" });
    return paragraphs;
}

enum class Start { plainList, prepared };

void startOnMainThread(benchmark::State& state, Start start)
{
    Log::Capture quiet;
    bench::ProgramOnDesktop program(bench::safariArticleDesktop(SimElement("AXGroup"), "A long evening", windowNumber));
    auto reader = ArticleReader::create(TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin",
                                                                     .usBaseURL = "http://127.0.0.1:9",
                                                                     .cnBaseURL = "http://127.0.0.1:9" }));
    const AXElement window = program.desktop->windowElement(windowNumber);
    const std::vector<ArticleParagraph> paragraphs = prose(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<ArticleParagraph> list = paragraphs;
        std::optional<PreparedParagraphs> prepared;
        if (start == Start::prepared)
            prepared.emplace(std::move(list));
        state.ResumeTiming();
        if (prepared)
            reader->startPreparedReading("A long evening", window, std::move(*prepared), "com.apple.Safari");
        else
            reader->startReading("A long evening", window, std::move(list), "com.apple.Safari");
        state.PauseTiming();
        reader->stop();
        state.ResumeTiming();
    }
}

void plainList(benchmark::State& state) { startOnMainThread(state, Start::plainList); }
void prepared(benchmark::State& state) { startOnMainThread(state, Start::prepared); }
BENCHMARK(plainList)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(prepared)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
