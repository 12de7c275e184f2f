#pragma once

#include "Platform/Toolkit/Button.h"

namespace lorvantine {

// The close button at the left end of a closable window's title bar: a red disc while its
// window is key, grey otherwise. Its window makes it and owns it (it is no subview of the
// content); a click, even the one that brings the window forward, or "AXPress" closes the
// window as `Window::performClose` does. Accessibility: a button of subrole "AXCloseButton"
// described as the platform describes it. Main thread only.
class WindowCloseButton final : public Button {
public:
    static constexpr double diameter = 12;
    // From the title bar's left end.
    static constexpr double leftInset = 8;

    WindowCloseButton();

    void draw(Painter& painter, const Rect& dirtyRect) override;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    std::string accessibilitySubrole() const override { return "AXCloseButton"; }
    std::string accessibilityDescription() const override { return "close button"; }
};

} // namespace lorvantine
