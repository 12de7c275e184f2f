#include "SimDesktop/Toolkit/PangoTextLayout.h"

#include "SimDesktop/Toolkit/PangoTextMeasurer.h"

#include <cmath>

namespace lorvantine {

PangoTextLayout::PangoTextLayout(Parameters parameters) : TextLayout(std::move(parameters))
{
    const Parameters& p = this->parameters();
    m_layout = PangoTextMeasurer::createLayout(p.text, p.font, p.width, p.lineBreak);
    if (p.lineBreak == LineBreakMode::clipping) {
        PangoRectangle logical;
        pango_layout_get_extents(m_layout, nullptr, &logical);
        const double free = p.width - logical.width / double(PANGO_SCALE);
        m_offsetX = p.alignment == TextAlignment::center ? free / 2 : p.alignment == TextAlignment::right ? free : 0;
    } else {
        pango_layout_set_alignment(m_layout, p.alignment == TextAlignment::center ? PANGO_ALIGN_CENTER
                                             : p.alignment == TextAlignment::right ? PANGO_ALIGN_RIGHT
                                                                                    : PANGO_ALIGN_LEFT);
    }
    PangoRectangle ink;
    pango_layout_get_extents(m_layout, &ink, nullptr);
    // Pango's extents are ints of its units and wrap for a line of a few megabytes (a pasted
    // address): such a layout is taken to draw anywhere and is cut at its width.
    constexpr double unitsNearTheLimit = 1e9;
    if (ink.width < 0 || ink.height < 0 || std::abs(double(ink.x)) + ink.width > unitsNearTheLimit) {
        m_fitsWidth = false;
        m_ink = Rect(-1e9, -1e9, 2e9, 2e9);
        return;
    }
    const double left = m_offsetX + ink.x / double(PANGO_SCALE);
    const double right = left + ink.width / double(PANGO_SCALE);
    m_fitsWidth = ink.width == 0 || (left >= 0 && right <= p.width);
    m_ink = Rect(left, ink.y / double(PANGO_SCALE), right - left, ink.height / double(PANGO_SCALE));
}

std::shared_ptr<cairo_surface_t> PangoTextLayout::drawn(const Color& color) const
{
    std::lock_guard drawnLock(m_drawnMutex);
    if (m_drawn && m_drawnColor == color)
        return m_drawn;
    cairo_surface_t* recording = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr);
    cairo_t* cr = cairo_create(recording);
    cairo_move_to(cr, m_offsetX, 0);
    cairo_set_source_rgba(cr, color.red, color.green, color.blue, color.alpha);
    {
        std::lock_guard lock(PangoTextMeasurer::mutex());
        pango_cairo_show_layout(cr, m_layout);
    }
    cairo_destroy(cr);
    m_drawn = std::shared_ptr<cairo_surface_t>(recording, cairo_surface_destroy);
    m_drawnColor = color;
    return m_drawn;
}

PangoTextLayout::~PangoTextLayout()
{
    std::lock_guard lock(PangoTextMeasurer::mutex());
    g_object_unref(m_layout);
}

} // namespace lorvantine
