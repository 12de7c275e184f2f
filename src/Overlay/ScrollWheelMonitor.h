#pragma once

#include <functional>
#include <memory>

namespace lorvantine {

// A scroll-wheel event seen in another application.
struct ScrollWheelEvent {
    // Content movement, y downward as the platform's `scrollingDeltaY`: in points when
    // `hasPreciseScrollingDeltas`, else in wheel lines.
    double scrollingDeltaY = 0;
    bool hasPreciseScrollingDeltas = false;
};

// The global scroll-wheel monitor of the overlay: every monitor added hears, on the main thread,
// the wheel events the system's global event monitor sees in other applications, and those
// delivered here. Main thread only.
namespace ScrollWheelMonitor {

// The monitor stays installed until the returned token is destroyed (on the main thread).
std::shared_ptr<void> addGlobal(std::function<void(const ScrollWheelEvent&)> handler);
void deliver(const ScrollWheelEvent& event);

} // namespace ScrollWheelMonitor
} // namespace lorvantine
