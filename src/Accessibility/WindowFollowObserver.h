#pragma once

#include "Platform/AXTypes.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Geometry.h"

#include <functional>
#include <memory>
#include <optional>

namespace lorvantine {

// Tells its owner the rectangle of one window of another application whenever that window moves
// or is resized, from the accessibility notifications "AXWindowMoved" and "AXWindowResized".
// Rectangles are global, top-left origin (the window's "AXPosition" and "AXSize").
//
// Main thread only: `start`, `stop` and the reports all run on the main run loop. The
// notification callback does not keep the object alive; `stop` (or destruction) detaches it, so
// a notification that arrives afterwards finds no object and does nothing.
class WindowFollowObserver {
public:
    using ChangeHandler = std::function<void(const Rect&)>;

    WindowFollowObserver(AXElement window, ChangeHandler onChange);
    ~WindowFollowObserver();
    WindowFollowObserver(const WindowFollowObserver&) = delete;
    WindowFollowObserver& operator=(const WindowFollowObserver&) = delete;

    // Observes the window and reports its present rectangle at once. Does nothing while observing.
    void start();
    // Ends observing and forgets the last rectangle; `start` may be called again.
    void stop();
    bool isObserving() const { return m_observer.has_value(); }

    const AXElement& window() const { return m_window; }
    // The owner's handler, fixed at construction. An owner that polls the window as a fallback
    // stores what it read in `lastRect` and calls the handler itself.
    const ChangeHandler& onChange() const { return m_onChange; }
    const std::optional<Rect>& lastRect() const { return m_lastRect; }
    void setLastRect(std::optional<Rect> rect) { m_lastRect = rect; }

private:
    struct Context;
    void windowChanged();

    AXElement m_window;
    std::optional<AXObserverID> m_observer;
    ChangeHandler m_onChange;
    std::optional<Rect> m_lastRect;
    std::shared_ptr<Context> m_context;
};

} // namespace lorvantine
