#pragma once

#include "SimDesktop/Model/SimModel.h"

#include <optional>

namespace lorvantine {

// Where the model's elements are on screen. Local frames are resolved as they are asked for and
// cached until the model's geometry generation changes (a resize, a new or removed element, a new
// text); moving a window costs nothing because frames are kept relative to their parents. An
// element's frame lays out only what comes before it in its parents and its own content, so a
// page read from the top is laid out a little at each read, never all at once while the desktop
// is locked.
namespace SimGeometry {

// Global, top-left origin; none for an element without geometry (an application, a menu).
std::optional<Rect> frame(SimModel& model, SimNode& node);
// An element's frame in its parent's content; none for what has no geometry.
std::optional<Rect> localFrame(SimModel& model, SimNode& node);
// The part of `node` not clipped by its window and its scroll areas (empty when none is left).
std::optional<Rect> visibleRect(SimModel& model, SimNode& node);
// The text layout of a text element or of an element laying out runs, made at its current width.
const SimTextLayout& layout(SimModel& model, SimNode& node);
// The front-most window a click at `point` reaches (not minimized, not clicked through, of a shown
// application), of `pid` only when `pid` is not 0.
const SimModel::Window* windowAt(SimModel& model, ProcessID pid, Point point);
// The deepest element under `point` in the front-most window that contains it, of `pid` only
// when `pid` is not 0. 0 when no window is there.
uint64_t hitTest(SimModel& model, ProcessID pid, Point point);

} // namespace SimGeometry
} // namespace lorvantine
