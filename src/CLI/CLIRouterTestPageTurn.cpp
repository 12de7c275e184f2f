#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "CLI/DiagnosticFormat.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/KindleSource.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine::CLIRouter {

namespace {

constexpr const char* turnTestKindleID = "com.amazon.Lassen";

// The text the turn is judged by: Kindle's content for Kindle, Books' web area for anything else.
std::string turnTestPageText(const std::string& bundleID)
{
    auto text = bundleID == turnTestKindleID ? KindleSource::readAXText(bundleID) : AppleBooksSource::readAXText(bundleID);
    return text.value_or("");
}

// An AppleScript string literal: a quote or backslash in a bundle identifier must not end it.
std::string appleScriptString(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

} // namespace

int routeTestPageTurn(const Arguments& args)
{
    using DiagnosticFormat::integer;
    const std::string bundleID = value(args, "--app").value_or(turnTestKindleID);
    const bool kindle = Text::contains(bundleID, "Kindle") || Text::contains(bundleID, "Lassen");
    const std::string prefix = kindle ? "[Kindle] " : "[App] ";

    auto app = AXReader::findApp(bundleID);
    if (!app) {
        Log::line("❌ 未找到进程 " + bundleID);
        return 1;
    }
    Log::line(prefix + "pid=" + std::to_string(app->pid));

    auto window = DiagnosticFormat::windowOf(*app);
    auto position = window ? AXReader::position(*window) : std::nullopt;
    auto size = window ? AXReader::size(*window) : std::nullopt;
    if (!position || !size) {
        Log::line(prefix + "❌ 无法获取窗口");
        return 1;
    }
    Log::line(prefix + "窗口: (" + integer(position->x) + "," + integer(position->y) + ") " + integer(size->width) + "×"
              + integer(size->height));

    const std::string baseline = turnTestPageText(bundleID);
    Log::line("");
    Log::line(prefix + "翻页前: \"" + Text::characterPrefix(baseline, 60) + "...\"");

    Log::line("");
    Log::line("=== AppleScript 原子翻页 ===");
    WorkspacePort& workspace = Platform::workspace();
    std::string front;
    if (auto frontmost = workspace.frontmostApplication(); frontmost && frontmost->bundleIdentifier)
        front = *frontmost->bundleIdentifier;
    Log::line(prefix + "前台: " + front);

    const TimePoint started = Clock::current().now();
    std::string source = "tell application id " + appleScriptString(bundleID) + " to activate\n"
                         "delay 0.15\n"
                         "tell application \"System Events\" to key code 124";
    if (!front.empty())
        source += "\ndelay 0.05\ntell application id " + appleScriptString(front) + " to activate";
    std::string error;
    workspace.runAppleScript(source, error); // the text read afterwards is the check
    Log::line(prefix + "AppleScript 总耗时: " + std::to_string(DiagnosticFormat::millisecondsSince(started)) + "ms");
    Log::line(prefix + "等待 1s 检测...");
    Clock::current().sleep(seconds(1.0));

    const std::string after = turnTestPageText(bundleID);
    const bool turned = Text::characterPrefix(after, 80) != Text::characterPrefix(baseline, 80);
    Log::line(prefix + (turned ? "✅ 翻页成功！" : "❌ 翻页失败"));
    return 0;
}

} // namespace lorvantine::CLIRouter
