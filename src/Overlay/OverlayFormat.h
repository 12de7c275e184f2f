#pragma once

#include "Platform/Geometry.h"

#include <string>

namespace lorvantine {

// Numbers and rectangles as the overlay's diagnostic lines write them. A value that is not a
// finite number is written as "nan", "inf" or "-inf" rather than converted.
namespace OverlayFormat {

// Truncated toward zero: "12", "-3".
std::string whole(double value);
// One digit after the point: "12.5".
std::string decimal1(double value);
// "(x,y,w,h)" with whole numbers / with one decimal each.
std::string rectWhole(const Rect& rect);
std::string rect1(const Rect& rect);
// "(x,y)" with whole numbers.
std::string pointWhole(Point point);

} // namespace OverlayFormat
} // namespace lorvantine
