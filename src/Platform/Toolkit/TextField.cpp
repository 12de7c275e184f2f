#include "Platform/Toolkit/TextField.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/TextMeasurer.h"

#include <algorithm>

namespace lorvantine {

TextField::TextField(const Rect& frame, std::string text) : View(frame), m_text(std::move(text)) { }

void TextField::setStringValue(std::string text)
{
    if (text == m_text)
        return;
    m_text = std::move(text);
    setNeedsDisplay();
}

void TextField::setPlaceholder(std::string placeholder)
{
    if (placeholder == m_placeholder)
        return;
    m_placeholder = std::move(placeholder);
    setNeedsDisplay();
}

void TextField::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void TextField::setEditable(bool editable)
{
    if (editable == m_editable)
        return;
    m_editable = editable;
    setNeedsDisplay();
}

void TextField::endEditing()
{
    if (!m_editable)
        return;
    // The owner may release the field from its action.
    auto keep = weak_from_this().lock();
    if (onAction)
        onAction();
}

bool TextField::accessibilityPerformAction(const std::string& action)
{
    if (action != "AXConfirm" || !m_editable)
        return false;
    endEditing();
    return true;
}

bool TextField::accessibilitySetValue(const AXValue& value)
{
    const std::string* text = axGet<std::string>(value);
    if (!text || !m_editable)
        return false;
    setStringValue(*text);
    return true;
}

void TextField::draw(Painter& painter, const Rect&)
{
    const Rect box = bounds();
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    painter.fillRect(box, dark ? Color::white(0.08) : Color::white());
    painter.stroke(Path::rect(box.insetBy(0.5, 0.5)), dark ? Color::white(0.25) : Color::black(0.25), 1);
    const bool empty = m_text.empty();
    const std::string& shown = empty ? m_placeholder : m_text;
    if (shown.empty())
        return;
    const double lineHeight = TextMeasurer::current().lineHeight(m_font);
    const Rect textRect(box.minX() + 4, box.midY() - lineHeight / 2, std::max(0.0, box.width() - 8), lineHeight);
    const Color colour = empty ? (dark ? Color::white(0.3) : Color::black(0.3)) : labelColor();
    painter.drawText(shown, textRect, m_font, colour, TextAlignment::left, LineBreakMode::clipping);
}

} // namespace lorvantine
