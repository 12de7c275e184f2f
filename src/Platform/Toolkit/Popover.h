#pragma once

#include "Platform/Geometry.h"

#include <functional>
#include <memory>

namespace lorvantine {

class Panel;
class View;
class Window;

// A rounded card of content shown beside a view (a status item's button, most often), the
// stand-in for the platform's popover. It lives in a non-activating panel above the menu bar, so
// showing it or clicking in it never brings the program to the front. While shown it takes the
// keys typed, as an open menu does (`Window::keyCapture`): Escape closes it. A transient popover closes
// on a mouse-down anywhere but in itself and in the window of the view it is shown for (that
// view's own action decides, as a status button toggling it does).
//
// Main thread only. The owner holds the popover; releasing it closes it.
class Popover {
public:
    enum class Behavior { applicationDefined, transient, semitransient };
    // The edge of the positioning rectangle the popover appears at (y upward: minY is below).
    enum class Edge { minX, minY, maxX, maxY };
    // Points between the positioning rectangle and the card.
    static constexpr double gap = 4;

    Popover();
    ~Popover();
    Popover(const Popover&) = delete;
    Popover& operator=(const Popover&) = delete;

    Size contentSize() const { return m_contentSize; }
    void setContentSize(Size size);
    Behavior behavior() const { return m_behavior; }
    void setBehavior(Behavior behavior) { m_behavior = behavior; }
    // Sized to the content size; shown inside the card.
    const std::shared_ptr<View>& contentView() const { return m_contentView; }
    void setContentView(std::shared_ptr<View> view);

    // Shows the card at `edge` of `rect` (in `view`'s coordinates), kept on the visible frame of
    // the screen it lands on; moves it there when already shown.
    void show(const Rect& rect, View& view, Edge edge);
    // Nothing when not shown.
    void close();
    bool isShown() const;
    // After the popover closed, however it closed.
    std::function<void()> onDidClose;

    // The panel while shown, else null (tests).
    Panel* panel() const;

    // For the window host: a mouse-down happened on the desktop, on `window` (the program's
    // window that took it) or elsewhere (null). Closes the transient popovers it is outside of.
    static void mouseDownOnDesktop(const Window* window);

private:
    Size m_contentSize { 320, 280 };
    Behavior m_behavior = Behavior::applicationDefined;
    std::shared_ptr<View> m_contentView;
    std::shared_ptr<Panel> m_panel;
    std::weak_ptr<Window> m_positioningWindow;
    // The key window when it was shown.
    std::weak_ptr<Window> m_keyBefore;
};

} // namespace lorvantine
