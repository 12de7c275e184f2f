#pragma once

#include "Platform/Geometry.h"

#include <string>

namespace lorvantine {

// Points and rectangles as the selection road's diagnostic lines write them: every number
// truncated toward zero. Readers of the log parse these, so the forms are fixed.
namespace SelectionFormat {

// "12", "-3"; a value that is not a finite number is written as "nan", "inf" or "-inf".
std::string whole(double value);
// "x,y".
std::string point(Point point);
// "x,y w×h" from the rectangle's minimum corner.
std::string rect(const Rect& rect);

} // namespace SelectionFormat
} // namespace lorvantine
