#include "SimDesktop/Model/SimInputRouting.h"

#include "SimDesktop/Model/SimGeometry.h"

namespace lorvantine::SimInputRouting {

namespace {

bool isPress(InputEventType type)
{
    return type == InputEventType::leftMouseDown || type == InputEventType::rightMouseDown;
}

bool isDragOrRelease(InputEventType type)
{
    return type == InputEventType::leftMouseDragged || type == InputEventType::leftMouseUp
        || type == InputEventType::rightMouseDragged || type == InputEventType::rightMouseUp;
}

} // namespace

ProcessID target(SimModel& model, const InputEvent& event)
{
    if (event.isKeyboard()) {
        const SimModel::Application* focus = model.keyFocus();
        return focus ? focus->info.pid : 0;
    }
    // Keys and wheels carry no location of their own: they happen where the pointer is.
    const Point at = event.type == InputEventType::scrollWheel ? model.mouseLocation : event.location;
    if (isDragOrRelease(event.type) && model.pressedApplication) {
        const ProcessID pressed = *model.pressedApplication;
        if (event.type == InputEventType::leftMouseUp || event.type == InputEventType::rightMouseUp)
            model.pressedApplication.reset();
        return pressed;
    }
    const SimModel::Window* hit = SimGeometry::windowAt(model, 0, at);
    const ProcessID pid = hit ? hit->pid : 0;
    if (isPress(event.type)) {
        model.pressedApplication = pid;
        if (!hit || hit->number != model.openMenu)
            model.openMenu.reset();
        // A press on an application's document window brings the application to the front; the
        // program's windows (drawn externally) say for themselves whether they do
        // (SimToolkitRouter), since its panels do not.
        if (hit && !hit->drawnExternally && hit->layer == 0)
            model.setFrontmost(pid);
    }
    return pid;
}

bool keyReaches(SimModel& model, const SimJournalEntry& entry, ProcessID pid)
{
    if (!entry.tap)
        return entry.pid == pid;
    const SimModel::Application* focus = model.keyFocus();
    return focus && focus->info.pid == pid;
}

MonitoredEvent monitored(const SimModel& model, const InputEvent& event)
{
    MonitoredEvent out;
    out.type = event.type;
    out.location = event.isKeyboard() || event.type == InputEventType::scrollWheel ? model.mouseLocation : event.location;
    const double primaryHeight = model.screens.empty() ? 0 : model.screens.front().frame.height();
    out.screenLocation = Point { out.location.x, primaryHeight - out.location.y };
    out.keyCode = event.keyCode;
    out.modifierFlags = event.flags;
    out.clickCount = event.clickCount;
    out.scrollUnit = event.scrollUnit;
    out.scrollDeltaY = event.scrollDeltaY;
    out.scrollDeltaX = event.scrollDeltaX;
    out.source = event.source;
    return out;
}

void route(SimModel& model, const InputEvent& event, std::optional<EventTap> tap, ProcessID pid)
{
    if (!tap) {
        // Delivered straight to the process: no monitor or tap sees it, but a press still decides
        // where its release goes.
        if (isPress(event.type))
            model.pressedApplication = pid;
        return;
    }
    const ProcessID to = target(model, event);
    // A key an open menu takes never reaches its application's event dispatch.
    const bool takenByMenu = event.isKeyboard() && model.openMenu && model.window(*model.openMenu);
    const MonitoredEvent base = monitored(model, event);
    const EventTypeMask bit = eventTypeMask(event.type);
    const bool inputMonitoring = model.inputMonitoring == InputMonitoringAccess::granted;
    SimModel::PendingEvent pending { {}, base };
    std::optional<uint32_t> ownWindow;
    for (const auto& [id, monitor] : model.eventMonitors) {
        if (!(monitor.mask & bit) || !monitor.enabled)
            continue;
        switch (monitor.kind) {
        case SimModel::EventMonitor::Kind::global:
            if (to != monitor.pid && inputMonitoring)
                pending.monitors.push_back(id);
            break;
        case SimModel::EventMonitor::Kind::local:
            if (to == monitor.pid && !takenByMenu)
                pending.monitors.push_back(id);
            break;
        case SimModel::EventMonitor::Kind::tap:
            pending.monitors.push_back(id);
            break;
        }
    }
    if (pending.monitors.empty() || !model.onRoutedEvent)
        return;
    if (!event.isKeyboard() && to != 0) {
        if (const SimModel::Window* hit = SimGeometry::windowAt(model, to, pending.event.location))
            ownWindow = hit->number;
    }
    pending.event.windowNumber = ownWindow.value_or(0);
    if (model.onRoutedEvent)
        model.onRoutedEvent(std::move(pending));
}

} // namespace lorvantine::SimInputRouting
