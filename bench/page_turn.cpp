// Turning a book's page: the time the main thread is blocked by one turn beyond the waits the
// turn makes on purpose (those run on a manual clock here, so they cost nothing), against reading
// the page's text once, which is the cost of one poll while the page changes.
//
// A scanned book shows no text: its turn is told by the page's picture. One look at the picture
// (the text read, then a capture) side by side with what telling it by recognition would cost
// per look (the text read, then recognising the page region), with the desktop's own recogniser
// and with Tesseract.
#include "CLI/CLIRouter.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/KindleSource.h"
#include "Documents/VisionOCR.h"
#include "Accessibility/AXReader.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <benchmark/benchmark.h>

#include <cstdlib>

namespace lorvantine {
namespace {

struct Book {
    const char* bundleID;
    const char* fixture;
};
constexpr Book kindle { "com.amazon.Lassen", "kindle-book.json" };
constexpr Book books { "com.apple.iBooksX", "books-book.json" };
constexpr Book scannedBooks { "com.apple.iBooksX", "books-scanned.json" };

std::shared_ptr<SimDesktop> load(const Book& book)
{
    std::string error;
    auto desktop = SimDesktop::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + book.fixture, error);
    if (!desktop)
        std::abort();
    return desktop;
}

void turnOnMainThread(benchmark::State& state, const Book& book)
{
    RunLoop::adoptCurrentThreadAsMain();
    auto clock = std::make_shared<ManualClock>();
    clock->setMainThreadSleepsAdvance(true);
    auto previous = Clock::install(clock);
    Log::Capture quiet;
    for (auto _ : state) {
        state.PauseTiming();
        auto desktop = load(book);
        Platform::ScopedServices services(desktop->services());
        bool done = false;
        state.ResumeTiming();
        // Only the call itself blocks the main thread; the poll and the new page's detection
        // run on a pool thread afterwards.
        CLIRouter::turnPage(book.bundleID, [&](auto) { done = true; });
        state.PauseTiming();
        while (!done)
            Dispatch::advance(*clock, seconds(0.1));
        state.ResumeTiming();
    }
    Clock::install(previous);
}

void pollRead(benchmark::State& state, const Book& book)
{
    auto desktop = load(book);
    Platform::ScopedServices services(desktop->services());
    for (auto _ : state) {
        auto text = book.bundleID == kindle.bundleID ? KindleSource::readAXText(book.bundleID)
                                                     : AppleBooksSource::readAXText(book.bundleID);
        benchmark::DoNotOptimize(text);
    }
}

enum class Look { picture, recognition };

void scannedPageLook(benchmark::State& state, Look look, const char* recogniser)
{
    setenv("LORVANTINE_RECOGNIZER", recogniser, 1);
    auto desktop = load(scannedBooks);
    Platform::ScopedServices services(desktop->services());
    Log::Capture quiet;
    // The page region as the Books source recognises it.
    auto window = AXReader::frontWindowOf(scannedBooks.bundleID);
    auto frame = window ? AXReader::rect(*window) : std::nullopt;
    if (!frame)
        std::abort();
    const Rect region(frame->minX(), frame->minY() + 28, frame->width(), frame->height() - 98);
    for (auto _ : state) {
        auto text = AppleBooksSource::readAXText(scannedBooks.bundleID);
        benchmark::DoNotOptimize(text);
        if (look == Look::picture) {
            auto picture = AppleBooksSource::readPagePicture(scannedBooks.bundleID);
            if (!picture)
                std::abort();
            benchmark::DoNotOptimize(picture->digest());
        } else {
            auto words = VisionOCR::recognizeWords(region, *window);
            if (!words)
                std::abort();
            benchmark::DoNotOptimize(words);
        }
    }
    unsetenv("LORVANTINE_RECOGNIZER");
}

void BM_TurnBlocksMainThread_Kindle(benchmark::State& state) { turnOnMainThread(state, kindle); }
void BM_TurnBlocksMainThread_Books(benchmark::State& state) { turnOnMainThread(state, books); }
void BM_PollRead_Kindle(benchmark::State& state) { pollRead(state, kindle); }
void BM_PollRead_Books(benchmark::State& state) { pollRead(state, books); }
void BM_ScannedPageLook_Picture(benchmark::State& state) { scannedPageLook(state, Look::picture, "desktop-truth"); }
void BM_ScannedPageLook_Recognition(benchmark::State& state) { scannedPageLook(state, Look::recognition, "desktop-truth"); }
void BM_ScannedPageLook_TesseractRecognition(benchmark::State& state) { scannedPageLook(state, Look::recognition, "tesseract"); }

BENCHMARK(BM_TurnBlocksMainThread_Kindle)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_TurnBlocksMainThread_Books)->Unit(benchmark::kMicrosecond)->Iterations(50);
BENCHMARK(BM_PollRead_Kindle)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PollRead_Books)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ScannedPageLook_Picture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannedPageLook_Recognition)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScannedPageLook_TesseractRecognition)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace lorvantine

BENCHMARK_MAIN();
