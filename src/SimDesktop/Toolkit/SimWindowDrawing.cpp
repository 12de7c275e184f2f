#include "SimDesktop/Toolkit/SimWindowDrawing.h"

#include <utility>

namespace lorvantine {

namespace {

std::shared_ptr<cairo_region_t> own(cairo_region_t* region) { return { region, cairo_region_destroy }; }

bool overlap(const cairo_region_t* a, const cairo_region_t* b)
{
    cairo_rectangle_int_t x, y;
    cairo_region_get_extents(a, &x);
    cairo_region_get_extents(b, &y);
    return x.x < y.x + y.width && y.x < x.x + x.width && x.y < y.y + y.height && y.y < x.y + x.height;
}

void addRectangles(cairo_t* cr, const cairo_region_t* region)
{
    for (int i = 0; i < cairo_region_num_rectangles(region); ++i) {
        cairo_rectangle_int_t r;
        cairo_region_get_rectangle(region, i, &r);
        cairo_rectangle(cr, r.x, r.y, r.width, r.height);
    }
}

} // namespace

SimWindowDrawing::SimWindowDrawing(Surface whole, Size size)
    : m_whole(std::move(whole))
    , m_size(size)
{
}

void SimWindowDrawing::layOver(const cairo_region_t* region, Surface surface)
{
    if (cairo_region_is_empty(region))
        return;
    auto parts = std::make_shared<std::vector<Part>>();
    parts->reserve(partCount() + 1);
    if (m_parts)
        for (const Part& part : *m_parts) {
            if (!overlap(part.region.get(), region)) {
                parts->push_back(part);
                continue;
            }
            // Published copies share the old region: the rest of it is a new one.
            auto rest = own(cairo_region_copy(part.region.get()));
            cairo_region_subtract(rest.get(), region);
            if (!cairo_region_is_empty(rest.get()))
                parts->push_back({ std::move(rest), part.surface });
        }
    parts->push_back({ own(cairo_region_copy(region)), std::move(surface) });
    m_parts = std::move(parts);
}

void SimWindowDrawing::paint(cairo_t* cr, double alpha) const
{
    if (!m_whole || alpha <= 0)
        return;
    cairo_save(cr);
    if (partCount() > 0) {
        // Everywhere but the parts' regions: a frame far larger than any window, with the
        // regions cut out of it.
        cairo_new_path(cr);
        cairo_rectangle(cr, -1e5, -1e5, 2e5, 2e5);
        for (const Part& part : *m_parts)
            addRectangles(cr, part.region.get());
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_clip(cr);
    }
    cairo_set_source_surface(cr, m_whole.get(), 0, 0);
    cairo_paint_with_alpha(cr, alpha);
    cairo_restore(cr);
    if (!m_parts)
        return;
    for (const Part& part : *m_parts) {
        cairo_save(cr);
        cairo_new_path(cr);
        addRectangles(cr, part.region.get());
        cairo_clip(cr);
        cairo_set_source_surface(cr, part.surface.get(), 0, 0);
        cairo_paint_with_alpha(cr, alpha);
        cairo_restore(cr);
    }
}

Rect SimWindowDrawing::inkExtents() const
{
    double x = 0, y = 0, width = 0, height = 0;
    if (!m_whole)
        return {};
    if (partCount() == 0) {
        cairo_recording_surface_ink_extents(m_whole.get(), &x, &y, &width, &height);
        return Rect(x, y, width, height);
    }
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* cr = cairo_create(recording);
    paint(cr);
    cairo_destroy(cr);
    cairo_recording_surface_ink_extents(recording, &x, &y, &width, &height);
    cairo_surface_destroy(recording);
    return Rect(x, y, width, height);
}

} // namespace lorvantine
