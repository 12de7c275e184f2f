#pragma once

#include "Platform/WindowServerPort.h"
#include "SimDesktop/Model/SimModel.h"

#include <vector>

namespace lorvantine {

// How a scroll area ("AXScrollArea") scrolls its content: by its vertical scroll bar's value
// (0...1 of the distance the content can move) or by wheel lines of its `scrollLine` points.
// Called with the desktop locked; the bar's "AXValue" follows every move.
namespace SimScrolling {

// The area's vertical scroll bar (a child "AXScrollBar" not oriented horizontally); null if none.
SimNode* verticalBar(SimModel& model, SimNode& area);
// The area's children that scroll (all but its scroll bars).
std::vector<SimNode*> contents(SimModel& model, SimNode& area);
// How far the content can move: its height less the area's height, never below 0.
double range(SimModel& model, SimNode& area);
// Moves the content to `fraction` (clamped to 0...1) of its range.
void scrollToFraction(SimModel& model, SimNode& area, double fraction);
// Moves the content by `dy` points (positive: the content moves up), clamped to its range.
void scrollBy(SimModel& model, SimNode& area, double dy);
// A wheel event posted at the hardware tap: scrolls the area under its location; a negative value
// moves the content up (the reader goes further down), by the area's lines or by pixels.
void wheel(SimModel& model, const InputEvent& event);
// The nearest scroll area holding the element under `point` (front-most window), null if none.
SimNode* areaAt(SimModel& model, Point point);

} // namespace SimScrolling
} // namespace lorvantine
