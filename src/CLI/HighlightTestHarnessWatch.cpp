#include "CLI/HighlightTestHarness.h"

#include "CLI/SignalSource.h"
#include "Core/HighlightTester.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <csignal>
#include <memory>

namespace lorvantine::HighlightTestHarness {

namespace {

constexpr double kWatchInterval = 2.0;
// How often the wait between rounds looks for Ctrl+C.
constexpr double kWatchSlice = 0.1;

// Waits one interval on the installed clock, serving the main queue (where Ctrl+C arrives) every
// slice; true when Ctrl+C came.
bool waitForNextRound(const bool& interrupted)
{
    for (double waited = 0; waited < kWatchInterval; waited += kWatchSlice) {
        RunLoop::runPending();
        if (interrupted)
            return true;
        Clock::current().sleep(seconds(kWatchSlice));
    }
    RunLoop::runPending();
    return interrupted;
}

} // namespace

int runWatch(const Options& options, const Environment& environment)
{
    ResultsFile results(options.append.value_or("highlight-watch-results.jsonl"));
    // Installed before the banner, so a Ctrl+C that follows the banner always finds it. Its work
    // runs on the main queue, between rounds: a results line being appended is always finished
    // before the command ends. A delivery still queued after the command has ended finds the
    // flag set and says nothing.
    auto interrupted = std::make_shared<bool>(false);
    std::string error;
    auto interrupt = SignalSource::create(
        SIGINT,
        [interrupted](int) {
            if (*interrupted)
                return;
            *interrupted = true;
            Log::line("\n[退出监测]");
        },
        error);
    if (!interrupt)
        Log::line("⚠️ Ctrl+C 处理未安装: " + error);
    Log::line("👀 监测模式：请在 " + options.app.value_or("微信/Safari") + " 中打开不同文档，自动检测并测试");
    Log::line("   结果保存到 " + results.path());
    Log::line("   按 Ctrl+C 退出\n");

    std::string lastTitle;
    int counter = 0;
    while (!waitForNextRound(*interrupted)) {
        if (environment.onWatchRound)
            environment.onWatchRound();
        auto document = capture(options.app);
        if (!document || document->title == lastTitle)
            continue;
        ++counter;
        Log::line("[" + std::to_string(counter) + "] 📖 " + document->title + " — " + std::to_string(document->paragraphs.size())
                  + " 段");
        HighlightTestReport report = HighlightTester::test(document->paragraphs, document->title);
        report.timestamp = environment.now();
        printCheckLine(report);
        for (const ParagraphTestResult& paragraph : report.paragraphs) {
            const auto failed = failedChecks(paragraph);
            if (failed.empty())
                continue;
            Log::line("     para[" + std::to_string(paragraph.index) + "] \"" + Text::characterPrefix(paragraph.textPreview, 30) + "\"");
            for (const CheckResult& check : failed)
                Log::line("       " + check.name + ": " + check.detail);
        }
        results.append(report);
        Log::line("");
        lastTitle = document->title;
    }
    interrupt.reset();
    *interrupted = true;
    // The reports that could not be appended went to standard output, and the status says so.
    return results.failed() ? 1 : 0;
}

} // namespace lorvantine::HighlightTestHarness
