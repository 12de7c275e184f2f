#include "SimDesktop/Rendering/SimWindowFrame.h"

#include <algorithm>
#include <numbers>

namespace lorvantine::SimWindowFrame {

void roundedPath(cairo_t* cr, const Rect& r, double radius)
{
    radius = std::min({ radius, r.width() / 2, r.height() / 2 });
    if (radius <= 0) {
        cairo_rectangle(cr, r.minX(), r.minY(), r.width(), r.height());
        return;
    }
    cairo_new_sub_path(cr);
    cairo_arc(cr, r.maxX() - radius, r.minY() + radius, radius, -std::numbers::pi / 2, 0);
    cairo_arc(cr, r.maxX() - radius, r.maxY() - radius, radius, 0, std::numbers::pi / 2);
    cairo_arc(cr, r.minX() + radius, r.maxY() - radius, radius, std::numbers::pi / 2, std::numbers::pi);
    cairo_arc(cr, r.minX() + radius, r.minY() + radius, radius, std::numbers::pi, 3 * std::numbers::pi / 2);
    cairo_close_path(cr);
}

void paintShadow(cairo_t* cr, const Rect& frame, double cornerRadius)
{
    // Rings around the window only, each a little darker towards it.
    cairo_save(cr);
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.016);
    for (int spread = 14; spread >= 1; --spread) {
        Rect r = frame.insetBy(-spread, -spread);
        r.origin.y += 6;
        roundedPath(cr, r, cornerRadius + spread);
        roundedPath(cr, frame, cornerRadius);
        cairo_fill(cr);
    }
    cairo_restore(cr);
}

void strokeEdge(cairo_t* cr, const Rect& frame, double cornerRadius)
{
    cairo_save(cr);
    cairo_new_path(cr);
    roundedPath(cr, frame.insetBy(0.5, 0.5), std::max(0.0, cornerRadius - 0.5));
    cairo_set_source_rgba(cr, 0, 0, 0, 0.22);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
    cairo_restore(cr);
}

} // namespace lorvantine::SimWindowFrame
