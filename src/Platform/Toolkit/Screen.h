#pragma once

#include "Platform/Geometry.h"
#include "Platform/WindowServerPort.h"

#include <optional>
#include <vector>

namespace lorvantine {

// The displays, as the toolkit sees them: frames in bottom-left coordinates (origin at the
// bottom left of the primary screen, y upward), from the window server port. Global
// accessibility and window-list rectangles are top-left (y downward); these convert with the
// primary screen's height. Without a window server or without screens every answer is empty.
namespace Screen {

// The first is the primary screen.
std::vector<ScreenInfo> screens();
std::optional<ScreenInfo> primary();
// The screen holding the key window, else the primary one.
std::optional<ScreenInfo> main();
// The first screen whose frame contains `point` (bottom-left).
std::optional<ScreenInfo> containing(Point point);
// The screen holding the largest part of `rect` (bottom-left), else the one nearest to it.
std::optional<ScreenInfo> nearest(const Rect& rect);
std::optional<double> primaryHeight();

// Top-left global ⇄ bottom-left global. None without screens.
std::optional<Rect> fromTopLeft(const Rect& topLeft);
std::optional<Rect> toTopLeft(const Rect& bottomLeft);
std::optional<Point> fromTopLeft(Point topLeft);
std::optional<Point> toTopLeft(Point bottomLeft);

} // namespace Screen
} // namespace lorvantine
