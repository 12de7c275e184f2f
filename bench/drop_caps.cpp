// Taking a scanned page's large initial into its word. An A, I or O asks the English word list
// whether the word beside it is a word by itself, and the page's words whether the page is English;
// side by side with a T, which asks nothing, and with the Books source reading the whole page (the
// desktop's own recogniser), what the word list adds to a page. And the list's one read, on first
// use, against that page.
#include "Accessibility/AXReader.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/PageWords.h"
#include "Documents/VisionOCR.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/EnglishWords.h"
#include "Support/Log.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace lorvantine {
namespace {

constexpr const char* booksID = "com.apple.iBooksX";

std::shared_ptr<SimDesktop> almanac()
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/books-almanac-scanned.json", error);
    if (!desktop)
        std::abort();
    return desktop;
}

// The first page's words as recognition reads them, its initial as `initial`.
std::vector<RecognizedWord> firstPage(const char* initial)
{
    auto desktop = almanac();
    Platform::ScopedServices services(desktop->services());
    Log::Capture quiet;
    auto window = AXReader::frontWindowOf(booksID);
    auto frame = window ? AXReader::rect(*window) : std::nullopt;
    if (!frame)
        std::abort();
    auto words = VisionOCR::recognizeWords(Rect(frame->minX(), frame->minY() + 28, frame->width(), frame->height() - 98), *window);
    if (!words)
        std::abort();
    for (RecognizedWord& word : *words)
        if (word.text == "I")
            word.text = initial;
    return *words;
}

void repair(benchmark::State& state, const char* initial)
{
    const std::vector<RecognizedWord> page = firstPage(initial);
    EnglishWords::standard();
    for (auto _ : state) {
        std::vector<RecognizedWord> words = page;
        benchmark::DoNotOptimize(PageWords::repairDropCaps(words, {}));
    }
}

void BM_RepairLargeInitial_I(benchmark::State& state) { repair(state, "I"); }
void BM_RepairLargeInitial_T(benchmark::State& state) { repair(state, "T"); }

void BM_ReadScannedPage(benchmark::State& state)
{
    auto desktop = almanac();
    Platform::ScopedServices services(desktop->services());
    Log::Capture quiet;
    for (auto _ : state)
        benchmark::DoNotOptimize(AppleBooksSource::detect(booksID));
}

void BM_LoadWordList(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(EnglishWords::load("/usr/share/dict/american-english"));
}

BENCHMARK(BM_RepairLargeInitial_I)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepairLargeInitial_T)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ReadScannedPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadWordList)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
