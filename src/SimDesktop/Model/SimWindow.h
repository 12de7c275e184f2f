#pragma once

#include "SimDesktop/Model/SimElement.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lorvantine {

// A window of a simulated application. `frame` is global, top-left origin. `order` places it in
// the desktop's front-to-back order (lower is nearer the front; windows without one follow in the
// order they were added). `children` are the window's content, positioned from its top-left corner.
struct SimWindow {
    uint32_t number = 0; // 0: the desktop assigns one
    std::string title;
    std::string name;
    Rect frame;
    bool minimized = false;
    bool main = false;
    int32_t layer = 0;
    double alpha = 1;
    std::optional<int64_t> order;
    std::string subrole = "AXStandardWindow";
    std::optional<uint32_t> background; // 0xAARRGGBB under its content; white by default
    std::map<std::string, AXValue> attributes;
    std::map<std::string, AXError> errors;
    std::vector<SimElement> children;
    // A terminal's tab: its device, and whether it is the terminal the program itself runs in.
    std::optional<std::string> tty;
    bool runnersTerminal = false;
};

} // namespace lorvantine
