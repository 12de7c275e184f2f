#include "SimDesktop/Toolkit/CairoPainter.h"

#include "Platform/Image.h"
#include "SimDesktop/Toolkit/PangoTextLayout.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"

#include <cmath>

namespace lorvantine {

CairoPainter::CairoPainter(cairo_t* cr, double height) : m_cr(cr)
{
    cairo_save(m_cr);
    cairo_translate(m_cr, 0, height);
    cairo_scale(m_cr, 1, -1);
}

CairoPainter::~CairoPainter()
{
    // Layers left open by a faulty view are closed so the context's state stack balances.
    while (!m_layers.empty())
        endTransparencyLayer();
    cairo_restore(m_cr);
}

void CairoPainter::save() { cairo_save(m_cr); }
void CairoPainter::restore() { cairo_restore(m_cr); }
void CairoPainter::translate(double dx, double dy) { cairo_translate(m_cr, dx, dy); }
void CairoPainter::rotate(double radians) { cairo_rotate(m_cr, radians); }
void CairoPainter::scale(double sx, double sy) { cairo_scale(m_cr, sx, sy); }

void CairoPainter::clip(const Path& path)
{
    setPath(path);
    cairo_clip(m_cr);
}

void CairoPainter::beginTransparencyLayer(double alpha)
{
    m_layers.push_back(alpha);
    cairo_push_group(m_cr);
}

void CairoPainter::endTransparencyLayer()
{
    if (m_layers.empty())
        return;
    const double alpha = m_layers.back();
    m_layers.pop_back();
    cairo_pop_group_to_source(m_cr);
    cairo_paint_with_alpha(m_cr, alpha);
}

void CairoPainter::setColor(const Color& c) { cairo_set_source_rgba(m_cr, c.red, c.green, c.blue, c.alpha); }

// The painter's space has y upward, so Cairo's increasing angles turn counter-clockwise.
void CairoPainter::addArc(const Path::Element& e)
{
    double start = e.startAngle, end = e.endAngle;
    // As Cairo takes the angles: the end comes after the start in the arc's direction.
    if (e.clockwise)
        while (end > start)
            end -= 2 * M_PI;
    else
        while (end < start)
            end += 2 * M_PI;
    // A quarter turn or less (rounded corners) is the one Bezier curve Cairo would make of it at
    // any radius a view has; laid here directly it costs a tenth of what `cairo_arc` does.
    if (e.radius <= 0 || std::abs(end - start) > M_PI / 2 + 1e-9) {
        if (e.clockwise)
            cairo_arc_negative(m_cr, e.point.x, e.point.y, e.radius, e.startAngle, e.endAngle);
        else
            cairo_arc(m_cr, e.point.x, e.point.y, e.radius, e.startAngle, e.endAngle);
        return;
    }
    const double r = e.radius, cx = e.point.x, cy = e.point.y;
    const double sinA = r * std::sin(start), cosA = r * std::cos(start);
    const double sinB = r * std::sin(end), cosB = r * std::cos(end);
    const double h = 4.0 / 3.0 * std::tan((end - start) / 4);
    if (cairo_has_current_point(m_cr))
        cairo_line_to(m_cr, cx + cosA, cy + sinA);
    else
        cairo_move_to(m_cr, cx + cosA, cy + sinA);
    cairo_curve_to(m_cr, cx + cosA - h * sinA, cy + sinA + h * cosA, cx + cosB + h * sinB, cy + sinB - h * cosB, cx + cosB, cy + sinB);
}

void CairoPainter::setPath(const Path& path)
{
    cairo_new_path(m_cr);
    for (const auto& e : path.elements()) {
        switch (e.kind) {
        case Path::Element::Kind::moveTo: cairo_move_to(m_cr, e.point.x, e.point.y); break;
        case Path::Element::Kind::lineTo: cairo_line_to(m_cr, e.point.x, e.point.y); break;
        case Path::Element::Kind::curveTo:
            cairo_curve_to(m_cr, e.control1.x, e.control1.y, e.control2.x, e.control2.y, e.point.x, e.point.y);
            break;
        case Path::Element::Kind::arc: addArc(e); break;
        case Path::Element::Kind::close: cairo_close_path(m_cr); break;
        }
    }
}

void CairoPainter::fill(const Path& path, const Color& color)
{
    if (color.isClear())
        return;
    setPath(path);
    setColor(color);
    cairo_fill(m_cr);
}

void CairoPainter::stroke(const Path& path, const Color& color, double lineWidth, LineCap cap)
{
    if (color.isClear() || lineWidth <= 0)
        return;
    setPath(path);
    setColor(color);
    cairo_set_line_width(m_cr, lineWidth);
    cairo_set_line_cap(m_cr, cap == LineCap::round ? CAIRO_LINE_CAP_ROUND
                                                   : cap == LineCap::square ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
    cairo_set_line_join(m_cr, cap == LineCap::round ? CAIRO_LINE_JOIN_ROUND : CAIRO_LINE_JOIN_MITER);
    cairo_stroke(m_cr);
}

void CairoPainter::drawText(const std::string& text, const Rect& rect, const Font& font, const Color& color,
                            TextAlignment alignment, LineBreakMode lineBreak)
{
    if (text.empty() || color.isClear())
        return;
    auto layout = PangoTextMeasurer().makeLayout({ text, font, rect.width(), alignment, lineBreak });
    drawTextLayout(*layout, rect, color);
}

void CairoPainter::drawTextLayout(const TextLayout& layout, const Rect& rect, const Color& color)
{
    const auto* pango = dynamic_cast<const PangoTextLayout*>(&layout);
    if (!pango) {
        // Made by another measurer: laid out anew.
        const TextLayout::Parameters& p = layout.parameters();
        if (!p.text.empty())
            drawText(p.text, rect, p.font, color, p.alignment, p.lineBreak);
        return;
    }
    if (layout.parameters().text.empty() || color.isClear())
        return;
    cairo_matrix_t m;
    cairo_get_matrix(m_cr, &m);
    const bool yUp = m.xx * m.yy - m.xy * m.yx < 0;
    cairo_save(m_cr);
    if (yUp) {
        cairo_translate(m_cr, rect.minX(), rect.maxY());
        cairo_scale(m_cr, 1, -1);
    } else {
        cairo_translate(m_cr, rect.minX(), rect.minY());
    }
    // Glyphs wholly outside what is being drawn again need not be painted (a label whose box
    // only grazes the area, as the lines around a word that lights up do).
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(m_cr, &x1, &y1, &x2, &y2);
    if (!pango->inkRect().insetBy(-1, -1).intersects(Rect(x1, y1, x2 - x1, y2 - y1))) {
        cairo_restore(m_cr);
        return;
    }
    // Cut at the width only: a line box a little taller than the rectangle still shows whole.
    if (!pango->fitsWidth()) {
        cairo_rectangle(m_cr, 0, -1e4, rect.width(), 2e4);
        cairo_clip(m_cr);
    }
    cairo_set_source_surface(m_cr, pango->drawn(color).get(), 0, 0);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
}

void CairoPainter::clipRect(const Rect& rect)
{
    cairo_new_path(m_cr);
    cairo_rectangle(m_cr, rect.minX(), rect.minY(), rect.width(), rect.height());
    cairo_clip(m_cr);
}

Rect CairoPainter::clipBounds() const
{
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    cairo_clip_extents(m_cr, &x1, &y1, &x2, &y2);
    return Rect(x1, y1, x2 - x1, y2 - y1);
}

void CairoPainter::drawImage(const Image& image, const Rect& rect)
{
    if (image.isEmpty() || rect.isEmpty())
        return;
    std::vector<uint8_t> pixels = image.pixels;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(pixels.data(), CAIRO_FORMAT_ARGB32, image.width,
                                                                   image.height, image.stride);
    cairo_matrix_t m;
    cairo_get_matrix(m_cr, &m);
    const bool yUp = m.xx * m.yy - m.xy * m.yx < 0;
    cairo_save(m_cr);
    if (yUp) {
        cairo_translate(m_cr, rect.minX(), rect.maxY());
        cairo_scale(m_cr, rect.width() / image.width, -rect.height() / image.height);
    } else {
        cairo_translate(m_cr, rect.minX(), rect.minY());
        cairo_scale(m_cr, rect.width() / image.width, rect.height() / image.height);
    }
    cairo_set_source_surface(m_cr, surface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(m_cr), CAIRO_FILTER_GOOD);
    cairo_paint(m_cr);
    cairo_restore(m_cr);
    cairo_surface_destroy(surface);
}

} // namespace lorvantine
