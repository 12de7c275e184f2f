#include "Platform/Toolkit/Spinner.h"

#include "Platform/Toolkit/Painter.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvantine {

Spinner::Spinner(const Rect& frame) : View(frame) { }

void Spinner::startAnimation()
{
    if (m_animating)
        return;
    m_animating = true;
    Animation spin;
    spin.property = AnimatedProperty::rotation;
    spin.from = 0.0;
    spin.to = -2 * std::numbers::pi;
    spin.duration = seconds(1);
    spin.repeatCount = Animation::repeatForever;
    addAnimation(animationKey, std::move(spin));
}

void Spinner::stopAnimation()
{
    if (!m_animating)
        return;
    m_animating = false;
    removeAnimation(animationKey);
}

void Spinner::setDisplayedWhenStopped(bool displayed)
{
    m_displayedWhenStopped = displayed;
    setNeedsDisplay();
}

void Spinner::setControlSize(ControlSize size)
{
    m_controlSize = size;
    setNeedsDisplay();
}

Color Spinner::color() const
{
    if (m_color)
        return *m_color;
    return effectiveAppearance() == Appearance::darkAqua ? Color::white() : Color::rgb(0.3, 0.3, 0.3);
}

void Spinner::setColor(std::optional<Color> color)
{
    m_color = color;
    setNeedsDisplay();
}

void Spinner::draw(Painter& painter, const Rect&)
{
    if (!m_animating && !m_displayedWhenStopped)
        return;
    const Rect box = bounds();
    const double radius = std::min(box.width(), box.height()) / 2;
    const double width = std::max(1.0, radius * 0.22);
    const Point centre { box.midX(), box.midY() };
    const Color base = color();
    for (int i = 0; i < 12; ++i) {
        // Spoke 0 points up and is the darkest; the tail fades behind it, clockwise.
        const double angle = std::numbers::pi / 2 + i * 2 * std::numbers::pi / 12;
        const double fade = 1.0 - i / 12.0 * 0.85;
        Path spoke;
        spoke.moveTo({ centre.x + std::cos(angle) * radius * 0.5, centre.y + std::sin(angle) * radius * 0.5 });
        spoke.lineTo({ centre.x + std::cos(angle) * (radius - width / 2), centre.y + std::sin(angle) * (radius - width / 2) });
        painter.stroke(spoke, base.withAlpha(base.alpha * fade), width, LineCap::round);
    }
}

} // namespace lorvantine
