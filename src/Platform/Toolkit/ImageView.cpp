#include "Platform/Toolkit/ImageView.h"

#include <algorithm>

namespace lorvantine {

ImageView::ImageView(const Rect& frame) : View(frame) { }

void ImageView::setImage(std::optional<SymbolImage> image)
{
    if (image == m_image)
        return;
    m_image = std::move(image);
    setNeedsDisplay();
}

void ImageView::setImageScaling(Scaling scaling)
{
    m_scaling = scaling;
    setNeedsDisplay();
}

void ImageView::setContentTintColor(std::optional<Color> color)
{
    m_tint = color;
    setNeedsDisplay();
}

Rect ImageView::imageRect() const
{
    if (!m_image)
        return {};
    const Rect box = bounds();
    Size size = m_image->size();
    switch (m_scaling) {
    case Scaling::none: break;
    case Scaling::axesIndependently: size = box.size; break;
    case Scaling::proportionallyDown:
    case Scaling::proportionallyUpOrDown: {
        double factor = std::min(box.width() / size.width, box.height() / size.height);
        if (m_scaling == Scaling::proportionallyDown)
            factor = std::min(factor, 1.0);
        size = { size.width * factor, size.height * factor };
        break;
    }
    }
    return Rect(box.midX() - size.width / 2, box.midY() - size.height / 2, size.width, size.height);
}

void ImageView::draw(Painter& painter, const Rect&)
{
    if (m_image)
        m_image->draw(painter, imageRect(), m_tint.value_or(labelColor()));
}

std::string ImageView::accessibilityDescription() const { return m_image ? m_image->accessibilityDescription() : std::string(); }

} // namespace lorvantine
