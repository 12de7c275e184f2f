#include "SimDesktop/Toolkit/PangoTextLayout.h"

#include "SimDesktop/Toolkit/PangoTextMeasurer.h"

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
}

PangoTextLayout::~PangoTextLayout()
{
    std::lock_guard lock(PangoTextMeasurer::mutex());
    g_object_unref(m_layout);
}

} // namespace lorvantine
