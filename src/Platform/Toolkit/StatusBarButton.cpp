#include "Platform/Toolkit/StatusBarButton.h"

#include "Platform/Toolkit/Painter.h"

namespace lorvantine {

StatusBarButton::StatusBarButton(const Rect& frame) : Button(frame)
{
    setBordered(false);
    setImagePosition(ImagePosition::imageOnly);
}

void StatusBarButton::setDrawnImage(std::optional<DrawnImage> image)
{
    m_drawnImage = std::move(image);
    setNeedsDisplay();
}

void StatusBarButton::draw(Painter& painter, const Rect& dirtyRect)
{
    const Rect box = bounds();
    if (isHighlighted())
        painter.fillRoundedRect(box.insetBy(1, 2), 4, Color::black(0.12));
    if (!m_drawnImage) {
        Button::draw(painter, dirtyRect);
        return;
    }
    const Size size = m_drawnImage->size;
    const Rect imageRect(box.midX() - size.width / 2, box.midY() - size.height / 2, size.width, size.height);
    m_drawnImage->draw(painter, imageRect, contentTintColor().value_or(labelColor()));
}

std::string StatusBarButton::accessibilityDescription() const
{
    return m_drawnImage ? m_drawnImage->accessibilityDescription : Button::accessibilityDescription();
}

} // namespace lorvantine
