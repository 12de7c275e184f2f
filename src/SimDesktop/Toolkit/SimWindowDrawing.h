#pragma once

#include "Platform/Geometry.h"

#include <cairo.h>

#include <memory>
#include <vector>

namespace lorvantine {

// What one of the program's windows shows, as Cairo surfaces in its points (origin at the top
// left): a drawing of the whole window, and drawings of parts of it made later and laid over it,
// each shown only within its own region. No two regions share a point, so every point shows one
// drawing and a new part takes its region out of the older ones; a part left with nothing to
// show is let go. Redrawing only what changed thus costs the changed area, however long the
// window lives, and nothing is replayed more than once.
//
// A plain value: the window host makes the next one on the main thread and publishes copies,
// which the renderer's threads paint. The surfaces are never drawn into once made.
class SimWindowDrawing {
public:
    using Surface = std::shared_ptr<cairo_surface_t>;

    SimWindowDrawing() = default;
    // A whole drawing of a window of `size` (not explicit: a surface alone is a drawing).
    SimWindowDrawing(Surface whole, Size size = {});

    bool isEmpty() const { return !m_whole; }
    Size size() const { return m_size; }
    size_t partCount() const { return m_parts ? m_parts->size() : 0; }

    // `surface` drawn within `region` (whole points), over what shows there now.
    void layOver(const cairo_region_t* region, Surface surface);
    // Paints what the window shows at the current origin, in the current units of one point.
    void paint(cairo_t* cr, double alpha = 1) const;
    // The smallest rectangle holding every point drawn on (top-left origin); empty when none.
    Rect inkExtents() const;

private:
    struct Part {
        std::shared_ptr<cairo_region_t> region;
        Surface surface;
    };

    Surface m_whole;
    Size m_size;
    // Shared by the copies published: a new part makes a new list.
    std::shared_ptr<const std::vector<Part>> m_parts;
};

} // namespace lorvantine
