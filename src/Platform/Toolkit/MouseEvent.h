#pragma once

#include "Platform/Geometry.h"

#include <cstdint>

namespace lorvantine {

class TrackingArea;

// A mouse event as a window and its views receive it. Main thread.
struct MouseEvent {
    enum class Type {
        leftMouseDown,
        leftMouseUp,
        leftMouseDragged,
        rightMouseDown,
        rightMouseUp,
        mouseMoved,
        mouseEntered,
        mouseExited,
    };

    Type type = Type::mouseMoved;
    // In the window's coordinates: origin at its bottom-left corner, y upward. Convert with
    // `View::convertFromView(location, nullptr)`.
    Point locationInWindow;
    int64_t clickCount = 0;
    uint64_t modifierFlags = 0; // EventFlags masks
    // For entered, exited and moved events of a tracking area: that area (valid during the call).
    const TrackingArea* trackingArea = nullptr;
};

} // namespace lorvantine
