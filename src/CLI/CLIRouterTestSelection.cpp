#include "CLI/CLIRouter.h"

#include "Core/ArticleReader.h"
#include "Core/SelectionReader.h"
#include "Platform/Toolkit/Application.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine::CLIRouter {

namespace {

constexpr size_t kEchoCharacters = 60;

} // namespace

int routeTestSelection(const Arguments& args)
{
    const std::optional<std::string> text = value(args, "--test-selection");
    if (!text || Text::hasPrefix(*text, "--")) {
        Log::line("用法: --test-selection \"要朗读的文本\"");
        return 1;
    }
    const bool longer = Text::characterCount(*text) > kEchoCharacters;
    Log::line("[TestSelection] 测试文本: \"" + Text::characterPrefix(*text, kEchoCharacters) + (longer ? "…" : "") + "\"");

    Application::shared().setActivationPolicy(ActivationPolicy::accessory);

    const auto& reader = ArticleReader::shared();
    reader->onFinished = [] {
        Log::line("[TestSelection] ✅ 播放完成");
        finishRunLoop(0);
    };
    // A reading that fails is a failed test, not a finished one.
    reader->onError = [](const ErrorValue& error) {
        Log::line("[TestSelection] ❌ 朗读失败: " + error.description);
        ArticleReader::shared()->stop();
        finishRunLoop(1);
    };
    reader->onSpeechUnavailable = [](const ErrorValue& error) {
        Log::line("[TestSelection] ❌ 朗读失败: " + error.description);
        finishRunLoop(1);
    };

    int status = 1;
    // The reader says why it refused (a blank text, no window to read into); nothing would
    // ever finish, so the command ends here rather than wait for Ctrl+C.
    if (SelectionReader::start(*text, std::nullopt, std::nullopt, std::nullopt, *reader))
        status = runUntilFinished();
    else
        Log::line("[TestSelection] ❌ 没有开始朗读");

    reader->onFinished = nullptr;
    reader->onError = nullptr;
    reader->onSpeechUnavailable = nullptr;
    return status;
}

} // namespace lorvantine::CLIRouter
