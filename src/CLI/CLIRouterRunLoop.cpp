#include "CLI/CLIRouter.h"

#include "CLI/SignalSource.h"
#include "Core/ArticleReader.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Support/Log.h"

#include <csignal>
#include <cstdint>
#include <optional>

namespace lorvantine::CLIRouter {

namespace {

struct LoopState {
    bool running = false;
    std::optional<int> status;
    // Tells a Ctrl+C that reaches the main queue late from one that belongs to this loop.
    uint64_t serial = 0;
};

LoopState& loopState()
{
    static LoopState state;
    return state;
}

} // namespace

int runUntilFinished()
{
    MainQueue::requireMainThread("CLIRouter::runUntilFinished");
    LoopState& state = loopState();
    state.running = true;
    state.status.reset();
    const uint64_t serial = ++state.serial;

    std::string error;
    auto interrupt = SignalSource::create(
        SIGINT,
        [serial] {
            if (!loopState().running || loopState().serial != serial)
                return;
            Log::line("\n[退出]");
            ArticleReader::shared()->stop();
            finishRunLoop(0);
        },
        error);
    if (!interrupt)
        Log::line("⚠️ Ctrl+C 处理未安装: " + error);

    Application::shared().run();

    state.running = false;
    interrupt.reset();
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
