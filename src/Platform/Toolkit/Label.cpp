#include "Platform/Toolkit/Label.h"

#include "Platform/Toolkit/TextMeasurer.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

Label::Label(const Rect& frame, std::string text) : View(frame), m_text(std::move(text)) { }

void Label::setText(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    setNeedsDisplay();
}

void Label::setFont(Font font)
{
    if (font == m_font)
        return;
    m_font = std::move(font);
    setNeedsDisplayInRect(bounds());
}

Color Label::textColor() const { return m_textColor.value_or(labelColor()); }

void Label::setTextColor(std::optional<Color> color)
{
    if (color == m_textColor)
        return;
    m_textColor = color;
    setNeedsDisplayInRect(bounds());
}

void Label::setAlignment(TextAlignment alignment)
{
    if (alignment == m_alignment)
        return;
    m_alignment = alignment;
    setNeedsDisplayInRect(bounds());
}

void Label::setLineBreakMode(LineBreakMode mode)
{
    if (mode == m_lineBreak)
        return;
    m_lineBreak = mode;
    setNeedsDisplayInRect(bounds());
}

Size Label::fittingSize() const
{
    std::optional<double> wrapAt;
    if (m_lineBreak == LineBreakMode::wordWrapping && frame().width() > 2 * horizontalInset)
        wrapAt = frame().width() - 2 * horizontalInset;
    const Size text = TextMeasurer::current().size(m_text, m_font, wrapAt);
    return { std::ceil(text.width) + 2 * horizontalInset, std::ceil(std::max(text.height, TextMeasurer::current().lineHeight(m_font))) };
}

void Label::sizeToFit() { setFrameSize(fittingSize()); }

void Label::draw(Painter& painter, const Rect&)
{
    if (m_text.empty())
        return;
    const Rect box = bounds();
    // A clipping label cuts its text at its own edge, not at the inset: a label sized to its
    // text shows all of it.
    const double rightInset = m_lineBreak == LineBreakMode::clipping ? 0 : horizontalInset;
    const Rect textRect(box.minX() + horizontalInset, box.minY(), std::max(0.0, box.width() - horizontalInset - rightInset),
                        box.height());
    TextLayout::Parameters wanted { m_text, m_font, textRect.width(), m_alignment, m_lineBreak };
    if (!m_layout || !m_layout->isLayoutOf(wanted))
        m_layout = TextMeasurer::current().makeLayout(wanted);
    painter.drawTextLayout(*m_layout, textRect, textColor());
}

} // namespace lorvantine
