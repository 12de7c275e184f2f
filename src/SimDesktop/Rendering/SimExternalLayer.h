#pragma once

#include "Platform/Geometry.h"

#include <cairo.h>

#include <cstdint>
#include <functional>

namespace lorvantine {

// Something the program itself shows on the screen (a highlight overlay, the mini player, the
// bubble, the read button), painted into every picture of the whole screen among the
// application windows. `level` is a window level in the window list's terms (kCGWindowLayer):
// 0 normal windows, 3 floating panels, 24 the menu bar, 25 status items, 101 pop-up menus. A
// layer is drawn above every application window of its level or a lower one, and below those of a
// higher level; layers of one level are drawn in the order they were added.
//
// `paint` draws in global screen points, top-left origin, y downward: the context is already
// scaled to the picture's pixels and clipped to `area` (the part of the screen being drawn, in
// the same points). It runs on the thread that renders, without the desktop lock held; it must
// not wait for the main thread. Window captures never contain layers.
//
// `prepare`, when set, runs on the same terms before each picture of the screen is begun: a
// layer brings what it paints up to date there.
struct SimExternalLayer {
    int32_t level = 0;
    std::function<void(cairo_t* cr, const Rect& area)> paint;
    std::function<void()> prepare;
};

} // namespace lorvantine
