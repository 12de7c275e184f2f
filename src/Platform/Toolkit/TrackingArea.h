#pragma once

#include "Platform/Geometry.h"

#include <cstdint>

namespace lorvantine {

// A region of a view that reports the pointer entering, leaving and moving inside it to the view
// it is added to (`View::addTrackingArea`). Main thread.
class TrackingArea {
public:
    // Option bits, with the platform's values.
    static constexpr uint32_t mouseEnteredAndExited = 0x01;
    static constexpr uint32_t mouseMoved = 0x02;
    static constexpr uint32_t cursorUpdate = 0x04;
    static constexpr uint32_t activeWhenFirstResponder = 0x10;
    static constexpr uint32_t activeInKeyWindow = 0x20;
    static constexpr uint32_t activeInActiveApp = 0x40;
    static constexpr uint32_t activeAlways = 0x80;
    static constexpr uint32_t assumeInside = 0x100;
    static constexpr uint32_t inVisibleRect = 0x200; // the rectangle follows the view's visible part
    static constexpr uint32_t enabledDuringMouseDrag = 0x400;

    // `rect` in the owning view's coordinates (ignored with `inVisibleRect`).
    TrackingArea(const Rect& rect, uint32_t options) : m_rect(rect), m_options(options), m_inside((options & assumeInside) != 0) {}

    const Rect& rect() const { return m_rect; }
    uint32_t options() const { return m_options; }
    // Whether the pointer was inside at the last report.
    bool isPointerInside() const { return m_inside; }

private:
    friend class View;
    friend class Window;
    Rect m_rect;
    uint32_t m_options;
    bool m_inside;
};

} // namespace lorvantine
