#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "SimDesktop/Toolkit/SimMirroredElement.h"

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// One of a client's own windows as it shows it on the served desktop ("tk.show"): what the
// window list, hit testing and accessibility need, and its picture. A plain record; the client
// (SharedWindowHost) fills it from its toolkit, the server (ClientWindows) puts it in its model.
struct SharedWindow {
    // An accessibility element of the window, in the client's terms.
    using Element = SimMirroredElement;

    uint32_t number = 0; // the client's window number
    Rect frame;          // AppKit's: bottom-left origin on the primary screen
    int32_t level = 0;
    double alpha = 1;
    std::string title;
    std::string subrole;
    bool ignoresMouseEvents = false;
    bool activatesOnClick = true;
    bool toFront = false; // goes in front of the others of its level
    // PNG of what the window draws, without its alpha, covering `pictureArea` (points from the
    // window's top-left corner; clear around it). None: unchanged since the last one; empty:
    // the window draws nothing.
    std::optional<std::vector<uint8_t>> picture;
    Rect pictureArea;
    // Front to back, parents before children; none: unchanged since the last one.
    std::optional<std::vector<Element>> elements;

    nlohmann::json toWire() const;
    // None when `json` is not a window of this shape (it came from another process).
    static std::optional<SharedWindow> fromWire(const nlohmann::json& json);
};

} // namespace lorvantine
