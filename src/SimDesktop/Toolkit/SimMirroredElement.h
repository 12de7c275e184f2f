#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// An accessibility element of a toolkit window, as the desktop's model mirrors it below the
// window (SimMirroring): the program's own windows (SimWindowHost) and a client's on the served
// desktop (ClientWindows, which it reaches as SharedWindow::Element).
struct SimMirroredElement {
    uint64_t id = 0;  // a client's number for it; actions on it come back with this id
    int parent = -1;  // index of the enclosing element in the list; -1: the window
    std::string role;
    std::string subrole;
    std::string title;
    std::string description;
    std::optional<AXValue> value;
    bool enabled = true;
    Rect frame; // from the window's top-left corner, y downward
    std::vector<std::string> actions;
    bool valueSettable = false;
    friend bool operator==(const SimMirroredElement&, const SimMirroredElement&) = default;
};

} // namespace lorvantine
