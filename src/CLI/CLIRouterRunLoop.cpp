#include "CLI/CLIRouter.h"

#include "CLI/SignalSource.h"
#include "Core/ArticleReader.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Support/Log.h"

#include <csignal>
#include <cstdint>
#include <memory>
#include <optional>

namespace lorvantine::CLIRouter {

namespace {

struct LoopState {
    bool running = false;
    std::optional<int> status;
    // Tells a Ctrl+C that reaches the main queue late from one that belongs to this loop.
    uint64_t serial = 0;
    std::unique_ptr<SignalSource> interrupt;
};

LoopState& loopState()
{
    static LoopState state;
    return state;
}

} // namespace

void prepareRunLoop()
{
    MainQueue::requireMainThread("CLIRouter::prepareRunLoop");
    LoopState& state = loopState();
    if (state.running)
        return;
    state.running = true;
    state.status.reset();
    const uint64_t serial = ++state.serial;

    // A request to terminate, or the terminal closing, ends the reading as Ctrl+C does: the
    // process then leaves in order. The loop takes the first only: one more while the reading
    // ends is the end of the process's, which leaves at once (see SignalSource::Takes).
    std::string error;
    state.interrupt = SignalSource::create(
        SignalSource::endingSignals,
        [serial](int) {
            if (!loopState().running || loopState().serial != serial)
                return;
            Log::line("\n[退出]");
            ArticleReader::shared()->stop();
            finishRunLoop(0);
        },
        error, SignalSource::Delivery::mainQueue, SignalSource::Takes::first);
    if (!state.interrupt)
        Log::line("⚠️ Ctrl+C 处理未安装: " + error);
}

int runUntilFinished()
{
    MainQueue::requireMainThread("CLIRouter::runUntilFinished");
    prepareRunLoop();
    LoopState& state = loopState();
    // A finish asked for before the loop began has stopped it already: it returns at once.
    Application::shared().run();

    state.running = false;
    state.interrupt.reset();
    return state.status.value_or(0);
}

void finishRunLoop(int status)
{
    MainQueue::requireMainThread("CLIRouter::finishRunLoop");
    LoopState& state = loopState();
    if (!state.running || state.status)
        return;
    state.status = status;
    Application::shared().terminate();
}

} // namespace lorvantine::CLIRouter
