#include "CLI/EndToEndProbeSupport.h"

#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"

namespace lorvantine::EndToEndProbeSupport {

namespace {

constexpr uint16_t escapeKeyCode = 53;

void postMouseAtSessionTap(InputEventType type, Point p, uint64_t flags = 0)
{
    InputEvent event = InputEvent::mouse(EventSourceState::combinedSession, type, p);
    event.flags = flags;
    Platform::windowServer().post(EventTap::session, event);
}

} // namespace

void pressEscape()
{
    WindowServerPort& server = Platform::windowServer();
    server.post(EventTap::session, InputEvent::keyboard(EventSourceState::combinedSession, escapeKeyCode, true));
    sleep(0.03);
    server.post(EventTap::session, InputEvent::keyboard(EventSourceState::combinedSession, escapeKeyCode, false));
}

void pressAt(Point p, double hold, uint64_t flags)
{
    postMouseAtSessionTap(InputEventType::leftMouseDown, p, flags);
    sleep(hold);
    postMouseAtSessionTap(InputEventType::leftMouseUp, p, flags);
}

void clickAt(Point p)
{
    postMouseAtSessionTap(InputEventType::mouseMoved, p);
    sleep(0.05);
    pressAt(p, 0.05);
}

void simulateDragThrough(const std::vector<Point>& points)
{
    if (points.size() < 2)
        return;
    postMouseAtSessionTap(InputEventType::leftMouseDown, points.front());
    sleep(0.08);
    for (size_t i = 1; i < points.size(); ++i) {
        const Point from = points[i - 1];
        const Point to = points[i];
        for (int k = 1; k <= 10; ++k) {
            const double t = k / 10.0;
            postMouseAtSessionTap(InputEventType::leftMouseDragged, { from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t });
            sleep(0.025);
        }
    }
    postMouseAtSessionTap(InputEventType::leftMouseUp, points.back());
}

} // namespace lorvantine::EndToEndProbeSupport
