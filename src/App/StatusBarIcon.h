#pragma once

#include "Platform/Toolkit/DrawnImage.h"

#include <vector>

namespace lorvantine {

// The status item's picture: five rounded vertical bars of a sound level, in black, as a
// template image the menu bar tints. Stateless.
namespace StatusBarIcon {

inline constexpr double side = 18;

// The five bars, left to right, in a square of `squareSide` with its origin at (0, 0), each
// centred on the square's vertical middle; their corner radius is half a bar's width.
std::vector<Rect> bars(double squareSide);
// The 18 × 18 template image described as "Lorvantine".
DrawnImage image();

} // namespace StatusBarIcon
} // namespace lorvantine
