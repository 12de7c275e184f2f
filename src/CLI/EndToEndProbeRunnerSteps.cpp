#include "CLI/EndToEndProbeRunner.h"

#include "Accessibility/AXReader.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "Support/Files.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <cmath>

namespace lorvantine::EndToEndProbeRunner {

namespace {

using namespace EndToEndProbeSupport;
using SelectionProbeRunner::AppConfig;
using SelectionProbeRunner::SetupMode;

const std::string e2eStartMarker = "<<P1>>";
const std::string e2eEndMarker = "<</P1>>";
// Speech has this long to start, counted from the overlay.
constexpr double audioTimeout = 10.0;

std::string formatPoint(Point p) { return "(" + Format::fixed(p.x, 0) + "," + Format::fixed(p.y, 0) + ")"; }

std::string formatRect(const Rect& r)
{
    return "(" + Format::fixed(r.minX(), 0) + "," + Format::fixed(r.minY(), 0) + " " + Format::fixed(r.width(), 0) + "x"
        + Format::fixed(r.height(), 0) + ")";
}

// The run of one application: each step appends itself; the first failure ends the run.
class StepLog {
public:
    explicit StepLog(E2EResult& result) : m_result(result) {}
    void pass(const char* name, std::optional<std::string> detail = std::nullopt)
    {
        m_result.steps.push_back({ name, true, std::move(detail) });
    }
    void fail(const char* name, std::string reason) { m_result.steps.push_back({ name, false, std::move(reason) }); }

private:
    E2EResult& m_result;
};

std::optional<RunningApplication> runningApp(const std::string& bundleID) { return AXReader::findApp(bundleID); }

// Copies the fixture to its fixed name, replacing an older copy (without following a link
// planted there). None on success, else the reason.
std::optional<std::string> stageFixtureCopy(const std::string& fixture, const std::filesystem::path& copy)
{
    std::error_code error;
    std::filesystem::remove(copy, error);
    if (error)
        return error.message();
    auto bytes = Files::readInputFile(fixture);
    if (!bytes)
        return bytes.error().message;
    if (auto written = Files::writeNoFollow(copy.string(), *bytes); !written)
        return written.error().message;
    return std::nullopt;
}

// Why no text element was found, with what has the focus instead.
std::string findTextFailure()
{
    std::string reason = "未找到 AXTextArea with " + e2eStartMarker;
    AccessibilityPort& ax = Platform::accessibility();
    AXValue focused;
    if (ax.copyAttributeValue(ax.systemWideElement(), AXName::focusedUIElement, focused) == AXError::success)
        if (const AXElement* element = axGet<AXElement>(focused)) {
            const std::string value = AXReader::attribute(*element, AXName::value).value_or("");
            std::string head = Text::characterPrefix(value, 120);
            for (size_t at = head.find('\n'); at != std::string::npos; at = head.find('\n', at))
                head.replace(at, 1, "⏎");
            reason += " | focused role=" + AXReader::attribute(*element, AXName::role).value_or("?")
                + " valLen=" + std::to_string(Text::characterCount(value)) + " head=[" + head + "]";
        }
    auto front = Platform::workspace().frontmostApplication();
    reason += " | frontmost=" + (front && front->bundleIdentifier ? *front->bundleIdentifier : std::string("?"));
    return reason;
}

struct MarkedRange {
    int start = 0;
    int length = 0;
};

// The UTF-16 range strictly between the first start marker and the first end marker.
std::optional<MarkedRange> markedRange(const std::string& text)
{
    const std::u16string units = Text::toUtf16(text);
    const size_t openAt = units.find(Text::toUtf16(e2eStartMarker));
    const size_t closeAt = units.find(Text::toUtf16(e2eEndMarker));
    if (openAt == std::u16string::npos || closeAt == std::u16string::npos)
        return std::nullopt;
    const size_t start = openAt + Text::toUtf16(e2eStartMarker).size();
    if (start >= closeAt)
        return std::nullopt;
    return MarkedRange { static_cast<int>(start), static_cast<int>(closeAt - start) };
}

struct EdgeRects {
    Rect first;
    Rect last;
};

std::optional<EdgeRects> edgeRects(const AXElement& text, const MarkedRange& range)
{
    auto first = AXReader::boundsForRange(text, range.start, 1);
    auto last = AXReader::boundsForRange(text, range.start + range.length - 1, 1);
    if (!first || !last)
        return std::nullopt;
    return EdgeRects { *first, *last };
}

// A selection that wraps gets a window wide enough for one line, when the window can be resized.
std::optional<EdgeRects> unwrapSelection(const AppConfig& app, const AXElement& text, const MarkedRange& range, EdgeRects rects)
{
    if (std::fabs(rects.first.minY() - rects.last.minY()) <= 5)
        return rects;
    if (!resizeAppMainWindow(app.bundleID, 900, 400))
        return rects;
    (void)moveAppMainWindow(app.bundleID, 100, 100);
    sleep(0.35);
    return edgeRects(text, range);
}

// Along the first line to the right before going down when the selection still wraps.
std::vector<Point> dragPath(const EdgeRects& rects)
{
    const Point a { rects.first.minX() + 2, rects.first.midY() };
    const Point b { rects.last.maxX() - 2, rects.last.midY() };
    if (std::fabs(rects.last.midY() - rects.first.midY()) <= 5) {
        Log::line("  🖱  drag " + formatPoint(a) + " → " + formatPoint(b));
        return { a, b };
    }
    const auto screen = Platform::windowServer().mainScreen();
    const double right = screen ? screen->frame.maxX() - 20 : 1900;
    const Point c { std::min(std::max(a.x, b.x) + 400, right), a.y };
    Log::line("  🖱  drag " + formatPoint(a) + " → " + formatPoint(c) + " → " + formatPoint(b) + " (cross-line)");
    return { a, c, b };
}

bool launchStep(const AppConfig& app, const Environment& environment, StepLog& steps)
{
    const std::string fixture = environment.files.resolve(app.fixture).string();
    std::error_code error;
    if (!std::filesystem::exists(fixture, error)) {
        steps.fail("launch", "fixture 不存在");
        return false;
    }
    const std::filesystem::path copy = fixtureCopyPath(app.bundleID, environment);
    if (auto failure = stageFixtureCopy(fixture, copy)) {
        steps.fail("launch", "temp fixture 拷贝失败: " + *failure);
        return false;
    }
    if (!SelectionProbeRunner::launch(app, copy.string(), environment.files)) {
        steps.fail("launch", "无法启动 App / 加载 fixture");
        return false;
    }
    sleep(0.5);
    if (app.setup != SetupMode::appleScript)
        for (int i = 0; i < 4; ++i) {
            pressEscape();
            sleep(0.2);
        }
    steps.pass("launch");
    return true;
}

// After the press: the overlay, then the log's word that the first segment plays.
void overlayStep(ProcessID pid, const WindowSnapshot& beforePress, const std::string& logPath, uint64_t logOffset, StepLog& steps)
{
    if (!waitForOverlay(pid, beforePress, 10.0)) {
        steps.fail("overlay_shown", "10s 内未扫到全屏 panel（TTS 失败或超时）");
        return;
    }
    // The overlay comes up when the reading starts, before any audio: only the player's line
    // says that speech is heard.
    std::optional<std::string> played;
    const TimePoint deadline = Clock::current().now() + seconds(audioTimeout);
    while (!(played = firstPlayedSegmentLine(logLinesSince(logPath, logOffset))) && Clock::current().now() < deadline)
        sleep(0.15);
    if (!played) {
        steps.fail("overlay_shown", "overlay 已出现，但 10s 内 " + logPath + " 未见 [Audio] play para=… ok=true（语音未开始）");
        return;
    }
    steps.pass("overlay_shown");
    sleep(1.5);
}

} // namespace

E2EResult runE2E(const AppConfig& app, ProcessID lorvantinePid, const Environment& environment)
{
    E2EResult result { app.name, "single_line", {} };
    StepLog steps(result);
    if (!launchStep(app, environment, steps))
        return result;

    auto found = SelectionProbeRunner::waitForFocusedTextWithContent(app.bundleID, e2eStartMarker, 5);
    if (!found) {
        steps.fail("find_text", findTextFailure());
        return result;
    }
    steps.pass("find_text");
    const auto& [text, value] = *found;

    auto range = markedRange(value);
    if (!range) {
        steps.fail("find_range", "marker 未找到");
        return result;
    }
    steps.pass("find_range", "loc=" + std::to_string(range->start) + " len=" + std::to_string(range->length));

    auto rects = edgeRects(text, *range);
    if (rects)
        rects = unwrapSelection(app, text, *range, *rects);
    if (!rects) {
        steps.fail("bfr_screen", "BFR 取不到首末字符矩形");
        return result;
    }
    const std::string edges = "start=" + formatRect(rects->first) + " end=" + formatRect(rects->last);
    if (!isRectOnScreen(rects->first) || !isRectOnScreen(rects->last)) {
        steps.fail("bfr_screen", "BFR 矩形不在屏幕内（App AX 用了文档坐标系？）" + edges);
        return result;
    }
    steps.pass("bfr_screen", edges);

    pressEscape();
    sleep(0.3);
    if (auto running = runningApp(app.bundleID)) {
        Platform::workspace().activate(running->pid, WorkspacePort::ActivationOptions::none);
        sleep(0.3);
    }

    // The program's small windows before the drag — the read button of a readable front window,
    // a bubble left from before — are not the bubble this selection brings.
    const WindowSnapshot beforeDrag = programWindows(lorvantinePid).value_or(WindowSnapshot {});
    simulateDragThrough(dragPath(*rects));
    auto bubble = waitForNewBubble(lorvantinePid, beforeDrag, 3.0, 0.12);
    if (!bubble) {
        steps.fail("bubble_shown", "3s 内未扫到 ≈40×40 panel");
        return result;
    }
    steps.pass("bubble_shown");

    auto centre = windowCenterOnScreen(*bubble);
    if (!centre) {
        steps.fail("bubble_press", "气泡坐标读不到");
        pressEscape();
        return result;
    }
    const WindowSnapshot beforePress = programWindows(lorvantinePid).value_or(WindowSnapshot {});
    const uint64_t logOffset = logSize(environment.logPath);
    clickAt(*centre);
    steps.pass("bubble_press", "CGEvent click @" + formatPoint(*centre));

    overlayStep(lorvantinePid, beforePress, environment.logPath, logOffset, steps);

    stopPlaybackAndDismiss(lorvantinePid);
    (void)waitForOverlayGone(lorvantinePid, 3.0, beforePress);
    (void)waitForMiniPlayerGone(lorvantinePid, 3.0);
    return result;
}

} // namespace lorvantine::EndToEndProbeRunner
