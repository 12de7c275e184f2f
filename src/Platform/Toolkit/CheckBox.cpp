#include "Platform/Toolkit/CheckBox.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/TextMeasurer.h"

#include <algorithm>

namespace lorvantine {

CheckBox::CheckBox(const Rect& frame, std::string title) : View(frame), m_title(std::move(title)) { }

void CheckBox::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    setNeedsDisplay();
}

void CheckBox::setOn(bool on)
{
    if (on == m_on)
        return;
    m_on = on;
    setNeedsDisplay();
}

void CheckBox::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void CheckBox::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    m_tracking = false;
    setNeedsDisplay();
}

void CheckBox::performClick()
{
    if (!m_enabled)
        return;
    setOn(!m_on);
    // The owner may release the check box from its action.
    auto keep = weak_from_this().lock();
    if (onAction)
        onAction();
}

bool CheckBox::accessibilityPerformPress()
{
    if (!m_enabled)
        return false;
    performClick();
    return true;
}

void CheckBox::mouseDown(const MouseEvent&)
{
    if (m_enabled)
        m_tracking = true;
}

void CheckBox::mouseUp(const MouseEvent& event)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    if (bounds().contains(convertFromView(event.locationInWindow, nullptr)))
        performClick();
}

Rect CheckBox::boxRect() const
{
    const Rect box = bounds();
    return Rect(box.minX() + 2, box.midY() - boxSize / 2, boxSize, boxSize);
}

void CheckBox::draw(Painter& painter, const Rect&)
{
    const Rect box = bounds();
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    if (!m_enabled)
        painter.beginTransparencyLayer(0.4);
    const Rect square = boxRect();
    if (m_on) {
        painter.fillRoundedRect(square, 3, Color::rgb(0.0, 0.48, 1.0));
        Path tick;
        tick.moveTo({ square.minX() + 3.5, square.midY() });
        tick.lineTo({ square.minX() + 6, square.minY() + 3.5 });
        tick.lineTo({ square.maxX() - 3, square.maxY() - 3.5 });
        painter.stroke(tick, Color::white(), 2, LineCap::round);
    } else {
        painter.fillRoundedRect(square, 3, dark ? Color::white(0.12) : Color::white());
        painter.strokeRoundedRect(square.insetBy(0.5, 0.5), 3, dark ? Color::white(0.3) : Color::black(0.3), 1);
    }
    if (!m_title.empty()) {
        const double left = square.maxX() + 6;
        const Rect titleRect(left, box.minY(), std::max(0.0, box.maxX() - left), box.height());
        const double lineHeight = TextMeasurer::current().lineHeight(m_font);
        const Rect centred(titleRect.minX(), box.midY() - lineHeight / 2, titleRect.width(), lineHeight);
        painter.drawText(m_title, centred, m_font, labelColor(), TextAlignment::left, LineBreakMode::truncatingTail);
    }
    if (!m_enabled)
        painter.endTransparencyLayer();
}

} // namespace lorvantine
