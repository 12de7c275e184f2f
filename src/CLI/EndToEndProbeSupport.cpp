#include "CLI/EndToEndProbeSupport.h"

#include "Accessibility/AXReader.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "Support/Text.h"

#include <algorithm>
#include <deque>

namespace lorvantine::EndToEndProbeSupport {

namespace {

// Checks at once, then after each pause until the deadline has passed.
template<typename Check> bool pollUntilDeadline(double timeout, double interval, Check check)
{
    const TimePoint deadline = Clock::current().now() + seconds(timeout);
    if (Clock::current().now() > deadline)
        return false;
    for (;;) {
        if (check())
            return true;
        if (Clock::current().now() >= deadline)
            return false;
        sleep(interval);
    }
}

bool inClass(double value, double low, double high) { return value >= low && value <= high; }

bool isNewOverlay(const ProgramWindow& window, const WindowSnapshot& before, const Size& screen)
{
    return window.size && isOverlaySized(*window.size, screen) && !wasThere(before, window);
}

} // namespace

std::optional<RunningApplication> findLorvantine()
{
    // The runner is the program too, and the desktop lists it as one: without a shared desktop it
    // is the only copy there is, and it would drive itself.
    std::vector<RunningApplication> running = Platform::workspace().runningApplications();
    std::erase_if(running, [](const RunningApplication& app) { return app.pid == Application::processIdentifier(); });
    for (const RunningApplication& app : running)
        if (app.bundleIdentifier == programBundleID)
            return app;
    for (const RunningApplication& app : running)
        if ((app.localizedName && Text::contains(*app.localizedName, "Lorvantine"))
            || (app.executableName && Text::contains(*app.executableName, "Lorvantine")))
            return app;
    return std::nullopt;
}

std::optional<WindowSnapshot> programWindows(ProcessID pid)
{
    AccessibilityPort& ax = Platform::accessibility();
    AXValue value;
    if (ax.copyAttributeValue(ax.applicationElement(pid), AXName::windows, value) != AXError::success)
        return std::nullopt;
    const auto* windows = axGet<std::vector<AXElement>>(value);
    if (!windows)
        return std::nullopt;
    WindowSnapshot snapshot;
    for (const AXElement& window : *windows)
        snapshot.push_back({ window, AXReader::position(window), AXReader::size(window) });
    return snapshot;
}

bool wasThere(const WindowSnapshot& before, const ProgramWindow& window)
{
    return std::find(before.begin(), before.end(), window) != before.end();
}

bool isBubbleSized(const Size& size) { return inClass(size.width, 30, 50) && inClass(size.height, 30, 50); }

bool isMiniPlayerSized(const Size& size) { return inClass(size.width, 380, 460) && inClass(size.height, 40, 80); }

bool isOverlaySized(const Size& size, const Size& mainScreen)
{
    return size.width >= mainScreen.width * 0.8 && size.height >= mainScreen.height * 0.8;
}

std::optional<Size> mainScreenSize()
{
    if (auto screen = Platform::windowServer().mainScreen())
        return screen->frame.size;
    return std::nullopt;
}

std::optional<AXElement> findNewBubble(ProcessID pid, const WindowSnapshot& before)
{
    for (const ProgramWindow& window : programWindows(pid).value_or(WindowSnapshot {}))
        if (window.size && isBubbleSized(*window.size) && !wasThere(before, window))
            return window.element;
    return std::nullopt;
}

std::optional<AXElement> waitForNewBubble(ProcessID pid, const WindowSnapshot& before, double timeout, double interval)
{
    std::optional<AXElement> bubble;
    pollUntilDeadline(timeout, interval, [&] { return (bubble = findNewBubble(pid, before)).has_value(); });
    return bubble;
}

bool waitForOverlay(ProcessID pid, const WindowSnapshot& before, double timeout)
{
    const auto screen = mainScreenSize();
    if (!screen)
        return false;
    return pollUntilDeadline(timeout, 0.15, [&] {
        for (const ProgramWindow& window : programWindows(pid).value_or(WindowSnapshot {}))
            if (isNewOverlay(window, before, *screen))
                return true;
        return false;
    });
}

bool waitForOverlayGone(ProcessID pid, double timeout, const WindowSnapshot& before)
{
    return pollUntilDeadline(timeout, 0.15, [&] {
        const auto screen = mainScreenSize();
        const auto windows = programWindows(pid);
        if (!screen || !windows)
            return true;
        return std::none_of(windows->begin(), windows->end(),
                            [&](const ProgramWindow& window) { return isNewOverlay(window, before, *screen); });
    });
}

std::optional<AXElement> findMiniPlayer(ProcessID pid)
{
    for (const ProgramWindow& window : programWindows(pid).value_or(WindowSnapshot {}))
        if (window.size && isMiniPlayerSized(*window.size))
            return window.element;
    return std::nullopt;
}

std::optional<Point> windowCenterOnScreen(const AXElement& window)
{
    auto position = AXReader::position(window);
    auto size = AXReader::size(window);
    if (!position || !size)
        return std::nullopt;
    return Point { position->x + size->width * 0.5, position->y + size->height * 0.5 };
}

std::optional<AXElement> rightmostButton(const AXElement& element)
{
    std::deque<AXElement> queue { element };
    std::optional<AXElement> best;
    double bestX = 0;
    for (int visited = 0; visited < 200 && !queue.empty(); ++visited) {
        const AXElement current = queue.front();
        queue.pop_front();
        if (AXReader::attribute(current, AXName::role) == "AXButton")
            if (auto position = AXReader::position(current); position && (!best || position->x > bestX)) {
                best = current;
                bestX = position->x;
            }
        for (const AXElement& child : AXReader::rawChildren(current))
            queue.push_back(child);
    }
    return best;
}

void sleep(double s)
{
    Clock::current().sleep(seconds(s));
    // The program may live in this very process (the in-process tests): its windows react on the
    // main queue, which nothing else runs while the runner holds the main thread.
    if (RunLoop::isMainThread())
        RunLoop::runPending();
}

} // namespace lorvantine::EndToEndProbeSupport
