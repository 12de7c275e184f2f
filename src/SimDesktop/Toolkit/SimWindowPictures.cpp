#include "SimDesktop/Toolkit/SimWindowPictures.h"

#include "SimDesktop/Rendering/SimWindowFrame.h"
#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

SimWindowPictures::SimWindowPictures(std::shared_ptr<SimDesktop> desktop, std::function<void()> beforePicture)
    : m_desktop(std::move(desktop))
    , m_beforePicture(std::move(beforePicture))
{
}

SimWindowPictures::~SimWindowPictures()
{
    for (const auto& [level, id] : m_layerIds)
        m_desktop->removeExternalLayer(id);
}

void SimWindowPictures::publish(std::vector<Picture> pictures)
{
    for (const auto& picture : pictures) {
        const int32_t level = picture.level;
        if (m_layerIds.count(level))
            continue;
        std::weak_ptr<Shared> shared = m_shared;
        SimExternalLayer layer;
        layer.level = level;
        layer.paint = [shared, level](cairo_t* cr, const Rect&) {
            if (auto s = shared.lock())
                s->paint(level, cr);
        };
        layer.prepare = m_beforePicture;
        m_layerIds[level] = m_desktop->addExternalLayer(std::move(layer));
    }
    std::lock_guard lock(m_shared->mutex);
    m_shared->pictures = std::move(pictures);
}

void SimWindowPictures::Shared::paint(int32_t level, cairo_t* cr)
{
    std::lock_guard lock(mutex);
    for (const auto& p : pictures) {
        if (p.level != level || p.drawing.isEmpty() || p.alpha <= 0 || p.scale <= 0)
            continue;
        if (p.framed)
            SimWindowFrame::paintShadow(cr, p.frame, 0);
        cairo_save(cr);
        cairo_translate(cr, p.frame.minX(), p.frame.minY());
        cairo_rectangle(cr, 0, 0, p.frame.width(), p.frame.height());
        cairo_clip(cr);
        cairo_translate(cr, p.offset.x, p.offset.y);
        if (p.scale != 1)
            cairo_scale(cr, 1 / p.scale, 1 / p.scale);
        p.drawing.paint(cr, p.alpha);
        cairo_restore(cr);
        if (p.framed)
            SimWindowFrame::strokeEdge(cr, p.frame, 0);
    }
}

} // namespace lorvantine
