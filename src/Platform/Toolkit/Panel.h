#pragma once

#include "Platform/Toolkit/Window.h"

namespace lorvantine {

// A panel: a window that floats beside the program's work. With the non-activating style, a
// click on it does not bring the program to the front. Hides on deactivation unless told not to
// (kept, see Window). Main thread only.
class Panel : public Window {
public:
    Panel(const Rect& contentRect, uint32_t styleMask);

    // Sets the level to floating (or back to normal).
    bool isFloatingPanel() const { return level() == WindowLevel::floating; }
    void setFloatingPanel(bool floating) { setLevel(floating ? WindowLevel::floating : WindowLevel::normal); }
    bool becomesKeyOnlyIfNeeded() const { return m_becomesKeyOnlyIfNeeded; }
    void setBecomesKeyOnlyIfNeeded(bool flag) { m_becomesKeyOnlyIfNeeded = flag; }
    bool isNonactivating() const { return (styleMask() & WindowStyle::nonactivatingPanel) != 0; }

    bool canBecomeMain() const override { return false; }

private:
    bool m_becomesKeyOnlyIfNeeded = false;
};

} // namespace lorvantine
