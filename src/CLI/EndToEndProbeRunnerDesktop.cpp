#include "CLI/EndToEndProbeRunner.h"

#include "Accessibility/AXReader.h"
#include "CLI/DiagnosticFormat.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/WindowServerPort.h"
#include "Support/Log.h"

namespace lorvantine::EndToEndProbeRunner {

namespace {

using namespace EndToEndProbeSupport;

std::string axErrorCode(AXError error) { return std::to_string(static_cast<int32_t>(error)); }

// The first window of the application's first running process; none without either.
std::optional<AXElement> firstWindowOf(const std::string& bundleID)
{
    auto app = AXReader::findApp(bundleID);
    if (!app)
        return std::nullopt;
    auto windows = AXReader::windows(Platform::accessibility().applicationElement(app->pid));
    if (windows.empty())
        return std::nullopt;
    return windows.front();
}

// Sets `attribute` of the application's first window; a refusal is logged under `action`.
bool setFirstWindowAttribute(const std::string& bundleID, const std::string& attribute, const AXValue& value,
                             const std::string& action)
{
    auto window = firstWindowOf(bundleID);
    if (!window)
        return false;
    const AXError error = Platform::accessibility().setAttributeValue(*window, attribute, value);
    if (error != AXError::success) {
        Log::line("  ⚠️ " + action + " " + bundleID + " 窗口失败: " + axErrorCode(error));
        return false;
    }
    return true;
}

} // namespace

void stopPlaybackAndDismiss(ProcessID lorvantinePid)
{
    AccessibilityPort& ax = Platform::accessibility();
    std::optional<AXError> lastFailure;
    const TimePoint deadline = Clock::current().now() + seconds(2);
    while (Clock::current().now() < deadline) {
        if (auto player = findMiniPlayer(lorvantinePid)) {
            if (auto close = rightmostButton(*player)) {
                const AXError error = ax.performAction(*close, AXName::press);
                Log::line("  🛑 MiniPlayer close pressed: " + (error == AXError::success ? std::string("ok") : "fail(" + axErrorCode(error) + ")"));
                if (error == AXError::success) {
                    sleep(0.3);
                    return;
                }
                lastFailure = error;
            } else {
                Log::line("  ⚠️ MiniPlayer found but no AXButton inside");
            }
        }
        sleep(0.2);
    }
    if (lastFailure) {
        Log::line("  ⚠️ MiniPlayer close AXPress 一直失败 (code=" + axErrorCode(*lastFailure) + ")，转用 fallback");
    } else {
        Log::line("  ⚠️ 2s 内未找到 MiniPlayer（TTS 可能已停/还没起），走 fallback");
        dumpLorvantineWindows(lorvantinePid);
    }
    pressEscape();
    sleep(0.2);
    pressAt({ 12, 40 }, 0.04);
    sleep(0.4);
}

bool waitForMiniPlayerGone(ProcessID lorvantinePid, double timeout)
{
    const TimePoint deadline = Clock::current().now() + seconds(timeout);
    if (Clock::current().now() > deadline)
        return false;
    for (;;) {
        if (!findMiniPlayer(lorvantinePid))
            return true;
        if (Clock::current().now() >= deadline)
            return false;
        sleep(0.15);
    }
}

void dumpLorvantineWindows(ProcessID lorvantinePid)
{
    auto windows = programWindows(lorvantinePid);
    if (!windows) {
        Log::line("    (Lorvantine 没有 AX windows)");
        return;
    }
    Log::line("    Lorvantine AX windows (count=" + std::to_string(windows->size()) + "):");
    for (size_t i = 0; i < windows->size(); ++i) {
        const Size size = (*windows)[i].size.value_or(Size {});
        Log::line("      [" + std::to_string(i) + "] size=" + DiagnosticFormat::integer(size.width) + "×"
                  + DiagnosticFormat::integer(size.height));
    }
}

bool resizeAppMainWindow(const std::string& bundleID, double width, double height)
{
    if (!setFirstWindowAttribute(bundleID, AXName::size, Size { width, height }, "resize"))
        return false;
    Log::line("  📐 resized " + bundleID + " window → " + DiagnosticFormat::integer(width) + "×" + DiagnosticFormat::integer(height));
    return true;
}

bool moveAppMainWindow(const std::string& bundleID, double x, double y)
{
    if (!setFirstWindowAttribute(bundleID, AXName::position, Point { x, y }, "move"))
        return false;
    Log::line("  📍 moved " + bundleID + " window → (" + DiagnosticFormat::integer(x) + "," + DiagnosticFormat::integer(y) + ")");
    return true;
}

bool isRectOnScreen(const Rect& r)
{
    // The screens come in the toolkit's bottom-left space; the rectangle is in accessibility's
    // top-left one. Compared as listed they would only agree on the primary screen.
    for (const ScreenInfo& screen : Screen::screens()) {
        const auto s = Screen::toTopLeft(screen.frame);
        if (!s)
            continue;
        if (s->minX() - 50 <= r.minX() && r.maxX() <= s->maxX() + 50 && s->minY() - 50 <= r.minY() && r.maxY() <= s->maxY() + 50)
            return true;
    }
    return false;
}

} // namespace lorvantine::EndToEndProbeRunner
