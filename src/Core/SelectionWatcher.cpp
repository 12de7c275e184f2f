#include "Core/SelectionWatcher.h"

#include "Core/SelectionGeometry.h"
#include "Core/SelectionOCRDispatcher.h"
#include "Core/SelectionReader.h"
#include "Documents/SelectionFormat.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine {

SelectionWatcher::SelectionWatcher(SelectionOCRDispatcher* dispatcher) : m_dispatcher(dispatcher) { }

SelectionWatcher::~SelectionWatcher() { stop(); }

SelectionOCRDispatcher& SelectionWatcher::dispatcher()
{
    return m_dispatcher ? *m_dispatcher : SelectionOCRDispatcher::shared();
}

void SelectionWatcher::forgetLastSelection()
{
    lastText.clear();
    lastRangeLocation = -1;
    lastRangeLength = 0;
}

void SelectionWatcher::start()
{
    stop();
    Log::line("[SelectionWatcher] 开始监听全局鼠标/键盘事件");
    EventMonitorPort& monitors = Platform::eventMonitor();
    std::weak_ptr<SelectionWatcher> weak = weak_from_this();
    auto global = [&](InputEventType type, void (SelectionWatcher::*handler)(const MonitoredEvent&)) {
        return monitors.addGlobalMonitor(eventTypeMask(type), [weak, handler](const MonitoredEvent& event) {
            if (auto self = weak.lock())
                (self.get()->*handler)(event);
        });
    };
    m_mouseDownMonitor = global(InputEventType::leftMouseDown, &SelectionWatcher::handleMouseDown);
    m_mouseUpMonitor = global(InputEventType::leftMouseUp, &SelectionWatcher::handleMouseUp);
    m_scrollMonitor = global(InputEventType::scrollWheel, &SelectionWatcher::handleScroll);
    m_keyDownMonitor = global(InputEventType::keyDown, &SelectionWatcher::handleKeyDown);
    m_localKeyDownMonitor = monitors.addLocalMonitor(eventTypeMask(InputEventType::keyDown),
                                                     [weak](const MonitoredEvent& event) -> std::optional<MonitoredEvent> {
                                                         if (auto self = weak.lock())
                                                             self->handleLocalKeyDown(event);
                                                         return event;
                                                     });
    m_appActivateObserver = Platform::workspace().observeActivation([weak](const RunningApplication&) {
        if (auto self = weak.lock())
            self->handleActivation();
    });
}

void SelectionWatcher::stop()
{
    const bool installed = m_mouseDownMonitor || m_mouseUpMonitor || m_scrollMonitor || m_keyDownMonitor || m_localKeyDownMonitor;
    if (installed) {
        EventMonitorPort& monitors = Platform::eventMonitor();
        for (auto* monitor : { &m_mouseDownMonitor, &m_mouseUpMonitor, &m_scrollMonitor, &m_keyDownMonitor, &m_localKeyDownMonitor }) {
            if (*monitor)
                monitors.removeMonitor(**monitor);
            monitor->reset();
        }
    }
    m_appActivateObserver.reset();
    m_pendingCheck.cancel();
    forgetLastSelection();
}

void SelectionWatcher::dismiss(bool stopPlayback, Recognition recognition)
{
    forgetLastSelection();
    if (recognition == Recognition::drop)
        dispatcher().cancel();
    if (stopPlayback && onStopPlayback)
        onStopPlayback();
    if (onDismiss)
        onDismiss();
}

void SelectionWatcher::handleMouseDown(const MonitoredEvent& event)
{
    // A new gesture replaces whatever the last one still had in flight: a check not yet run
    // would read the old selection (a double click's word in place of the triple click's line).
    m_pendingCheck.cancel();
    dispatcher().cancel();
    m_mouseDownLocation = event.screenLocation;
    SelectionGeometry::shared().lastMouseDown = event.screenLocation;
}

void SelectionWatcher::handleMouseUp(const MonitoredEvent& event)
{
    const Point p = event.screenLocation;
    SelectionGeometry& geometry = SelectionGeometry::shared();
    geometry.lastMouseUp = p;
    geometry.lastClickCount = event.clickCount;

    bool isClick = true;
    if (m_mouseDownLocation) {
        const double dx = p.x - m_mouseDownLocation->x;
        const double dy = p.y - m_mouseDownLocation->y;
        isClick = dx * dx + dy * dy < 25;
    }
    m_mouseDownLocation.reset();

    if (isClick && event.clickCount <= 1) {
        dismiss(frozen);
        return;
    }
    m_pendingCheck.cancel();
    std::weak_ptr<SelectionWatcher> weak = weak_from_this();
    m_pendingCheck = DispatchQueue::main().asyncAfter(seconds(checkDelay), [weak, p] {
        if (auto self = weak.lock())
            self->checkSelection(p);
    });
}

void SelectionWatcher::handleScroll(const MonitoredEvent& event)
{
    // Wheel events from an event source are synthetic: the reading keeping its paragraph in view,
    // never the person scrolling away from the selection.
    if (!frozen && !event.source)
        dismiss(false);
}

void SelectionWatcher::handleKeyDown(const MonitoredEvent& event)
{
    // The recognition road's own Command+C comes from an event source; only the user's hand
    // cancels the recognition it started.
    const Recognition recognition = event.source ? Recognition::keep : Recognition::drop;
    if (event.keyCode == escapeKeyCode)
        dismiss(true, recognition);
    else if (!frozen)
        dismiss(false, recognition);
}

void SelectionWatcher::handleLocalKeyDown(const MonitoredEvent& event)
{
    if (event.keyCode == escapeKeyCode)
        dismiss(true);
}

void SelectionWatcher::handleActivation() { dismiss(false); }

void SelectionWatcher::checkSelection(Point mouseLocation)
{
    auto front = Platform::workspace().frontmostApplication();
    const std::string bundleID = front ? front->bundleIdentifier.value_or("") : "";
    if (browserBlacklist.contains(bundleID))
        return;

    auto selection = SelectionReader::readCurrentSelection();
    if (!selection) {
        if (!frozen && SelectionOCRDispatcher::OCR_WHITELIST.contains(bundleID)) {
            Log::line("[SelectionWatcher] AX 无选区 → OCR fallback (" + bundleID + ")");
            std::weak_ptr<SelectionWatcher> weak = weak_from_this();
            dispatcher().onOCRSelection = [weak](const ArticleParagraph& paragraph, const AXElement& window,
                                                 const std::string& bundle, Point mouse) {
                if (auto self = weak.lock(); self && self->onOCRSelection)
                    self->onOCRSelection(paragraph, window, bundle, mouse);
            };
            dispatcher().dispatch(bundleID, mouseLocation);
            return;
        }
        dismiss(frozen);
        return;
    }

    const std::string trimmed = Text::trimmingWhitespacesAndNewlines(selection->text);
    const size_t count = Text::characterCount(trimmed);
    if (count < 2) {
        dismiss(frozen);
        return;
    }
    if (trimmed == lastText && selection->range.location == lastRangeLocation && selection->range.length == lastRangeLength)
        return;
    if (frozen)
        return;
    lastText = trimmed;
    lastRangeLocation = selection->range.location;
    lastRangeLength = selection->range.length;
    Log::line("[SelectionWatcher] 🖱️ 选区: " + std::to_string(count) + " 字符(trim), raw="
              + std::to_string(Text::characterCount(selection->text)) + " 字符, range=(" + std::to_string(selection->range.location)
              + "," + std::to_string(selection->range.length) + "), rect="
              + (selection->rect ? SelectionFormat::rect(*selection->rect) : std::string("nil"))
              + ", mouse=" + SelectionFormat::point(mouseLocation));
    if (onSelection)
        onSelection(selection->text, selection->element, selection->range, selection->rect, mouseLocation);
}

} // namespace lorvantine
