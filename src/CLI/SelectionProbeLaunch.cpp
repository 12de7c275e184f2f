#include "CLI/SelectionProbeRunner.h"

#include "Accessibility/AXReader.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/PasteboardPort.h"
#include "Platform/ProcessPort.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "Support/Files.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <deque>
#include <filesystem>

namespace lorvantine::SelectionProbeRunner {

namespace {

constexpr uint16_t keyN = 45;
constexpr uint16_t keyV = 9;

void pause(double s) { Clock::current().sleep(seconds(s)); }

std::optional<RunningApplication> firstRunning(const std::string& bundleID)
{
    for (const RunningApplication& app : Platform::workspace().runningApplications())
        if (app.bundleIdentifier == bundleID)
            return app;
    return std::nullopt;
}

bool isFrontmost(const std::string& bundleID)
{
    auto front = Platform::workspace().frontmostApplication();
    return front && front->bundleIdentifier == bundleID;
}

// Brings the application to the front before a key command goes to whatever is frontmost.
bool frontGuard(const std::string& bundleID)
{
    if (isFrontmost(bundleID))
        return true;
    auto app = firstRunning(bundleID);
    if (!app)
        return false;
    for (double wait : { 0.3, 0.5 }) {
        Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
        pause(wait);
        if (isFrontmost(bundleID))
            return true;
    }
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    pause(0.7);
    return false;
}

// Runs "/usr/bin/open" and waits for it; false (with the console line) when it cannot start.
bool runOpen(const std::string& bundleID, std::vector<std::string> arguments)
{
    auto outcome = Platform::processes().run("/usr/bin/open", arguments);
    if (!outcome) {
        Log::line("  ❌ 无法启动 " + bundleID + ": " + outcome.error());
        return false;
    }
    return true;
}

std::optional<std::string> stringValue(const AXElement& element)
{
    AXValue value;
    if (Platform::accessibility().copyAttributeValue(element, AXName::value, value) != AXError::success)
        return std::nullopt;
    if (const std::string* text = axGet<std::string>(value))
        return *text;
    return std::nullopt;
}

} // namespace

std::optional<RunningApplication> waitForApp(const std::string& bundleID, double timeout)
{
    const TimePoint deadline = Clock::current().now() + seconds(timeout);
    for (;;) {
        if (auto app = firstRunning(bundleID); app && !app->isTerminated)
            return app;
        pause(0.2);
        if (Clock::current().now() > deadline)
            return std::nullopt;
    }
}

std::optional<RunningApplication> launchWithFile(const std::string& bundleID, const std::string& fixturePath)
{
    if (!runOpen(bundleID, { "-b", bundleID, fixturePath }))
        return std::nullopt;
    auto app = waitForApp(bundleID, 15);
    if (!app)
        return std::nullopt;
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    pause(0.8);
    return app;
}

std::optional<RunningApplication> launchAndPaste(const std::string& bundleID, const std::string& fixturePath)
{
    auto text = Files::readInputFile(fixturePath);
    if (!text || !Text::isValidUtf8(*text)) {
        Log::line("  ❌ 无法读 fixture 内容");
        return std::nullopt;
    }
    PasteboardPort& pasteboard = Platform::pasteboard();
    pasteboard.clearContents();
    pasteboard.setString(*text, PasteboardType::string);
    if (!runOpen(bundleID, { "-b", bundleID }))
        return std::nullopt;
    auto app = waitForApp(bundleID, 15);
    if (!app)
        return std::nullopt;
    const TimePoint deadline = Clock::current().now() + seconds(5);
    while (Clock::current().now() < deadline) {
        Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
        pause(0.3);
        if (isFrontmost(bundleID))
            break;
    }
    pause(0.5);
    if (!frontGuard(bundleID)) {
        Log::line("  ❌ Cmd+N 前台守卫失败（前台不是 " + bundleID + "），放弃 paste 流程");
        return std::nullopt;
    }
    postKeyCommand(keyN);
    pause(0.8);
    if (!frontGuard(bundleID)) {
        Log::line("  ❌ Cmd+V 前台守卫失败（前台不是 " + bundleID + "），放弃 paste 流程");
        return std::nullopt;
    }
    postKeyCommand(keyV);
    pause(1.0);
    return app;
}

std::optional<RunningApplication> launchWithAppleScript(const std::string& bundleID, const std::string& fixturePath,
                                                        const std::string& scriptPath)
{
    std::error_code error;
    if (!std::filesystem::exists(scriptPath, error)) {
        Log::line("  ❌ AppleScript 不存在: " + scriptPath);
        return std::nullopt;
    }
    auto outcome = Platform::processes().run("/usr/bin/osascript", { scriptPath, fixturePath });
    if (!outcome) {
        Log::line("  ❌ osascript 启动失败: " + outcome.error());
        return std::nullopt;
    }
    if (outcome->exitStatus != 0) {
        const std::string& said = outcome->standardError;
        Log::line("  ❌ AppleScript 退出非零 (" + std::to_string(outcome->exitStatus)
                  + "): " + (Text::isValidUtf8(said) ? said : std::string()));
        return std::nullopt;
    }
    auto app = waitForApp(bundleID, 15);
    if (!app)
        return std::nullopt;
    Platform::workspace().activate(app->pid, WorkspacePort::ActivationOptions::none);
    pause(1.2);
    return app;
}

void postKeyCommand(uint16_t keyCode)
{
    WindowServerPort& server = Platform::windowServer();
    InputEvent down = InputEvent::keyboard(EventSourceState::combinedSession, keyCode, true);
    InputEvent up = InputEvent::keyboard(EventSourceState::combinedSession, keyCode, false);
    down.flags = EventFlags::maskCommand;
    up.flags = EventFlags::maskCommand;
    server.post(EventTap::session, down);
    pause(0.05);
    server.post(EventTap::session, up);
}

std::optional<FoundText> waitForFocusedTextWithContent(const std::string& bundleID, const std::string& containing, double timeout)
{
    const TimePoint deadline = Clock::current().now() + seconds(timeout);
    if (Clock::current().now() > deadline)
        return std::nullopt;
    AccessibilityPort& ax = Platform::accessibility();
    for (;;) {
        AXValue focused;
        if (ax.copyAttributeValue(ax.systemWideElement(), AXName::focusedUIElement, focused) == AXError::success)
            if (const AXElement* element = axGet<AXElement>(focused))
                if (auto value = stringValue(*element); value && value->find(containing) != std::string::npos)
                    return FoundText { *element, *value };
        if (auto app = firstRunning(bundleID))
            if (auto found = findTextElementContaining(containing, ax.applicationElement(app->pid), 400))
                return found;
        pause(0.3);
        if (Clock::current().now() > deadline)
            return std::nullopt;
    }
}

std::optional<FoundText> findTextElementContaining(const std::string& marker, const AXElement& root, int maxNodes)
{
    std::deque<AXElement> queue { root };
    for (int visited = 0; visited < maxNodes && !queue.empty(); ++visited) {
        const AXElement element = queue.front();
        queue.pop_front();
        const auto role = AXReader::attribute(element, AXName::role);
        if (role == "AXTextArea" || role == "AXTextField")
            if (auto value = stringValue(element); value && value->find(marker) != std::string::npos)
                return FoundText { element, *value };
        for (const AXElement& child : AXReader::rawChildren(element))
            queue.push_back(child);
    }
    return std::nullopt;
}

std::string terminalCleanupScript(const std::optional<std::string>& ownTTY)
{
    // Quotes cannot be escaped in the line the tty goes into; a device path never holds one.
    const std::string tty = ownTTY && ownTTY->find('"') == std::string::npos ? *ownTTY : std::string();
    const std::string skipOwn = tty.empty() ? std::string() : "tty of t is not \"" + tty + "\" and ";
    return "tell application \"Terminal\"\n"
           "    repeat with w in windows\n"
           "        repeat with t in tabs of w\n"
           "            try\n"
           "                if " + skipOwn + "contents of t contains \"<<P1>>\" then\n"
           "                    set selected tab of w to t\n"
           "                    delay 0.2\n"
           "                    tell application \"System Events\" to keystroke \"w\" using command down\n"
           "                    delay 0.3\n"
           "                    tell application \"System Events\" to tell process \"Terminal\"\n"
           "                        if exists sheet 1 of window 1 then click button \"Terminate\" of sheet 1 of window 1\n"
           "                    end tell\n"
           "                    return\n"
           "                end if\n"
           "            end try\n"
           "        end repeat\n"
           "    end repeat\n"
           "end tell\n";
}

void runCleanup(std::optional<CleanupMode> cleanup, const std::string& bundleID)
{
    if (!cleanup)
        return;
    switch (*cleanup) {
    case CleanupMode::deleteNotesWithMarker:
        runAppleScriptSource("try\n"
                             "    tell application \"Notes\" to delete (every note whose body contains \"<<P1>>\")\n"
                             "end try\n");
        return;
    case CleanupMode::closeTerminalMarkerTab:
        runAppleScriptSource(terminalCleanupScript(Platform::processes().controllingTerminal()));
        return;
    case CleanupMode::discardStickyWindow:
    case CleanupMode::discardMailDraft:
        Log::line("  ℹ️  " + bundleID + " cleanup 跳过自动关闭（防止 Save 对话框阻塞），请手动关闭测试窗口");
        return;
    }
}

void runAppleScriptSource(const std::string& source)
{
    auto outcome = Platform::processes().run("/usr/bin/osascript", { "-e", source });
    if (!outcome)
        Log::line("  ⚠️  cleanup AppleScript 运行失败: " + outcome.error());
}

} // namespace lorvantine::SelectionProbeRunner
