#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Rendering/SimExternalLayer.h"
#include "SimDesktop/Text/SimTextLayout.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <variant>
#include <vector>

namespace lorvantine {

// What a picture of the desktop shows, read from the model with the desktop locked and painted
// after the lock is released. Global points, top-left origin. Colours are 0xAARRGGBB, not
// premultiplied.
struct SimScene {
    struct Shape {
        enum class Kind { rectangle, roundedRectangle, ellipse };
        Kind kind = Kind::rectangle;
        Rect rect;
        double radius = 0;
        std::optional<uint32_t> fill;
        std::optional<uint32_t> fillBottom; // a vertical gradient from `fill` down to this colour
        std::optional<uint32_t> stroke;
        double lineWidth = 1;
    };

    // A laid-out text, drawn with its layout's top-left corner at `origin`: the very layout that
    // answers the accessibility text queries, so every Character lands on its bounds.
    struct Text {
        struct Span {
            AXRange range; // UTF-16 units
            uint32_t colour = 0;
        };
        std::shared_ptr<const SimTextLayout> layout;
        Point origin;
        uint32_t colour = 0xFF000000;
        std::vector<Span> spans;
    };

    struct Item {
        std::variant<Shape, Text> content;
        Rect clip; // nothing of the item outside it is drawn
    };

    // An application window, or the menu bar (number 0). Items are painted in order, clipped to
    // the frame (with rounded top corners when `cornerRadius` is set).
    struct Window {
        uint32_t number = 0;
        int32_t layer = 0;
        Rect frame;
        double alpha = 1;
        double cornerRadius = 0;
        bool shadow = false;
        std::vector<Item> items;
    };

    std::vector<Item> desktop;                               // the background under everything
    std::vector<std::variant<Window, SimExternalLayer>> stack; // back to front
};

} // namespace lorvantine
