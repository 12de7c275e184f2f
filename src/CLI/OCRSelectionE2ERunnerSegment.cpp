#include "CLI/OCRSelectionE2ERunner.h"

#include "CLI/DiagnosticFormat.h"
#include "CLI/EndToEndProbeSupport.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"

namespace lorvantine::OCRSelectionE2ERunner {

namespace {

namespace Support = EndToEndProbeSupport;

// This runner's click: no pointer move first, the button held 0.04 s.
void pressOnce(Point p) { Support::pressAt(p, 0.04); }

// One attempt, no waiting for the player: its close button when a mini player with a button is
// up, else Escape and a click in the screen's top-left corner.
void stopPlayback(ProcessID lorvantinePid)
{
    for (const Support::ProgramWindow& window : Support::programWindows(lorvantinePid).value_or(Support::WindowSnapshot {})) {
        if (!window.size || !Support::isMiniPlayerSized(*window.size))
            continue;
        if (auto close = Support::rightmostButton(window.element)) {
            (void)Platform::accessibility().performAction(*close, "AXPress");
            Support::sleep(0.3);
            return;
        }
    }
    Support::pressEscape();
    Support::sleep(0.2);
    pressOnce({ 12, 40 });
}

} // namespace

Result runSegment(const RunningApplication& app, const std::string& bundleID, const Sentinel& sentinel,
                  ProcessID lorvantinePid, const std::string& logPath, uint64_t logStartOffset, const Rect& windowRect)
{
    Result result { .app = bundleID, .segment = sentinel.n };
    auto fail = [&](std::string name, std::string reason) {
        result.steps.push_back({ std::move(name), false, std::move(reason) });
        return result;
    };

    Platform::workspace().activate(app.pid, WorkspacePort::ActivationOptions::none);
    Support::sleep(0.5);
    auto front = Platform::workspace().frontmostApplication();
    Log::line("  🔦 frontmost=" + (front && front->bundleIdentifier ? *front->bundleIdentifier : "?") + " expected=" + bundleID);

    // From just below the START word to the line above the END word, short of the window's
    // right edge. The program's selection watcher takes a drag (not a click and a Shift-click,
    // which it sees as two plain clicks) for a selection.
    const Point anchor { sentinel.startRect.minX(), sentinel.startRect.maxY() + 4 };
    const Point extend { windowRect.maxX() - 180, sentinel.endRect.minY() - 4 };
    Log::line("  🖱  drag S" + std::to_string(sentinel.n) + " anchor=" + fmtPt(anchor) + " extend=" + fmtPt(extend));
    const Support::WindowSnapshot beforeDrag = Support::programWindows(lorvantinePid).value_or(Support::WindowSnapshot {});
    Support::simulateDragThrough({ anchor, extend });
    result.steps.push_back({ "drag", true, std::nullopt });

    auto bubble = Support::waitForNewBubble(lorvantinePid, beforeDrag, 3.0, 0.1);
    if (!bubble)
        return fail("bubble_shown", "3s 未见 bubble");
    result.steps.push_back({ "bubble_shown", true, std::nullopt });

    auto centre = Support::windowCenterOnScreen(*bubble);
    if (!centre)
        return fail("bubble_press", "bubble 坐标读不到");
    const Support::WindowSnapshot beforePress = Support::programWindows(lorvantinePid).value_or(Support::WindowSnapshot {});
    pressOnce(*centre);
    result.steps.push_back({ "bubble_press", true, "@" + fmtPt(*centre) });

    const TimePoint pressed = Clock::current().now();
    const bool overlayShown = Support::waitForOverlay(lorvantinePid, beforePress, 60.0);
    if (overlayShown) {
        result.firstPlayingMs = DiagnosticFormat::millisecondsSince(pressed);
        result.steps.push_back({ "overlay_shown", true, "first_playing=" + std::to_string(*result.firstPlayingMs) + "ms" });
    } else {
        result.steps.push_back({ "overlay_shown", false, "60s 未见 overlay" });
    }

    result.charsInClip = parseClipCharsFromLog(logPath, logStartOffset);

    if (overlayShown)
        Support::sleep(1.2);
    stopPlayback(lorvantinePid);
    (void)Support::waitForOverlayGone(lorvantinePid, 3.0, beforePress);
    return result;
}

} // namespace lorvantine::OCRSelectionE2ERunner
