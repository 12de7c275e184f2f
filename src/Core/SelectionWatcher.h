#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/Geometry.h"

#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <string>

namespace lorvantine {

class SelectionOCRDispatcher;

// Notices that the user has just finished selecting text in another application and tells its
// owner, which offers the bubble beside the pointer; tells it too when the offer should go
// (a plain click, an emptied selection, the person scrolling, typing, another application in
// front) and when Escape asks to stop a reading. A drag or a double or triple click is checked
// 0.08 s after its mouse-up through accessibility; in the editors of the recognition list that
// expose no selection, the recognition road takes over. Browsers and WeChat are left out.
//
// Main thread: monitors, the activation observer, the delayed check and every callback. Owned
// through a std::shared_ptr; handlers hold it weakly. Work in flight is cancelled by the next
// gesture: a mouse-down drops the pending check and the recognition in flight, and every
// dismissal the watcher raises drops the recognition too, so no late offer follows it.
class SelectionWatcher : public std::enable_shared_from_this<SelectionWatcher> {
public:
    // `dispatcher`: the recognition road (the shared one unless a test brings its own, which
    // must outlive every queue's work).
    explicit SelectionWatcher(SelectionOCRDispatcher* dispatcher = nullptr);
    ~SelectionWatcher();
    SelectionWatcher(const SelectionWatcher&) = delete;
    SelectionWatcher& operator=(const SelectionWatcher&) = delete;

    // Installs the monitors and the activation observer (stopping first).
    void start();
    // Removes them and forgets the last selection; callbacks and `frozen` stay.
    void stop();

    // Mouse points are toolkit screen points (bottom-left origin); `rect` is top-left.
    std::function<void(const std::string& text, const AXElement& element, AXRange range, std::optional<Rect> rect, Point mouse)> onSelection;
    std::function<void(const ArticleParagraph& paragraph, const AXElement& window, const std::string& bundleID, Point mouse)> onOCRSelection;
    std::function<void()> onDismiss;
    std::function<void()> onStopPlayback;
    // Set by the owner while a selection is read: no new offers, no recognition, scrolling and
    // typing leave the offer, and a click or an emptied selection also stops the reading.
    bool frozen = false;

    // The last selection reported, not reported twice; the owner may forget it too.
    std::string lastText;
    int64_t lastRangeLocation = -1;
    int64_t lastRangeLength = 0;
    void forgetLastSelection();

    static inline const std::set<std::string> browserBlacklist {
        "com.google.Chrome", "com.google.Chrome.beta", "com.google.Chrome.canary", "com.google.Chrome.dev",
        "com.apple.Safari", "com.apple.SafariTechnologyPreview",
        "org.mozilla.firefox", "org.mozilla.firefoxdeveloperedition", "org.mozilla.nightly",
        "com.microsoft.edgemac", "com.microsoft.edgemac.Beta", "com.microsoft.edgemac.Dev", "com.microsoft.edgemac.Canary",
        "company.thebrowser.Browser", "company.thebrowser.arc",
        "com.brave.Browser", "com.brave.Browser.beta", "com.brave.Browser.nightly",
        "com.operasoftware.Opera", "com.operasoftware.OperaNext",
        "com.vivaldi.Vivaldi", "org.chromium.Chromium",
        "com.tencent.xinWeChat",
    };

    static constexpr double checkDelay = 0.08;
    static constexpr uint16_t escapeKeyCode = 53;

private:
    void handleMouseDown(const MonitoredEvent& event);
    void handleMouseUp(const MonitoredEvent& event);
    void handleScroll(const MonitoredEvent& event);
    void handleKeyDown(const MonitoredEvent& event);
    void handleLocalKeyDown(const MonitoredEvent& event);
    void handleActivation();
    void checkSelection(Point mouseLocation);
    // Forgets the last selection, drops the recognition in flight (unless the road's own
    // synthetic copy caused the dismissal), and asks the owner to take the offer down, stopping
    // the reading first when `stopPlayback`.
    enum class Recognition { drop, keep };
    void dismiss(bool stopPlayback, Recognition recognition = Recognition::drop);
    SelectionOCRDispatcher& dispatcher();

    SelectionOCRDispatcher* m_dispatcher = nullptr;
    std::optional<EventMonitorID> m_mouseDownMonitor;
    std::optional<EventMonitorID> m_mouseUpMonitor;
    std::optional<EventMonitorID> m_scrollMonitor;
    std::optional<EventMonitorID> m_keyDownMonitor;
    std::optional<EventMonitorID> m_localKeyDownMonitor;
    std::shared_ptr<void> m_appActivateObserver;
    std::optional<Point> m_mouseDownLocation;
    WorkItem m_pendingCheck;
};

} // namespace lorvantine
