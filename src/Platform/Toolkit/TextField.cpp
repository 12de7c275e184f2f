#include "Platform/Toolkit/TextField.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/WindowServerPort.h"
#include "Support/Text.h"

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

void TextField::mouseDown(const MouseEvent&)
{
    // A click puts the caret at the end: what is typed next is added to the text.
    if (Window* owner = window(); owner && owner->makeFirstResponder(this)) {
        m_selected = false;
        setNeedsDisplay();
    }
}

void TextField::didBecomeFirstResponder()
{
    m_selected = true;
    setNeedsDisplay();
}

void TextField::didResignFirstResponder()
{
    m_selected = false;
    setNeedsDisplay();
    // Leaving the field (another field, the window closed) ends what was typed as Return does.
    if (m_typedSinceAction)
        endEditing();
}

void TextField::keyDown(const KeyEvent& event)
{
    if (!m_editable)
        return;
    constexpr uint64_t shortcutFlags = EventFlags::maskCommand | EventFlags::maskControl;
    const uint64_t shortcut = event.modifierFlags & shortcutFlags;
    if (shortcut == EventFlags::maskCommand && event.keyCode == KeyEvent::keyA) {
        m_selected = true;
        setNeedsDisplay();
        return;
    }
    if (shortcut != 0)
        return;
    if (event.keyCode == KeyEvent::keyReturn || event.keyCode == KeyEvent::keyEnter) {
        // The owner may release the field from its action.
        auto keep = weak_from_this().lock();
        endEditing();
        m_selected = true;
        setNeedsDisplay();
        return;
    }
    if (event.keyCode == KeyEvent::keyDelete) {
        const size_t count = Text::characterCount(m_text);
        replaceTyped(m_selected || count == 0 ? std::string() : Text::characterPrefix(m_text, count - 1));
        return;
    }
    // One line: control characters (a tab, a line feed) type nothing here.
    const std::string& typed = event.characters;
    if (typed.empty() || std::any_of(typed.begin(), typed.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; }))
        return;
    replaceTyped(m_selected ? typed : m_text + typed);
}

// The selection goes with what is typed over it, and the field is drawn once with both.
void TextField::replaceTyped(std::string text)
{
    m_selected = false;
    m_text = std::move(text);
    m_typedSinceAction = true;
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
    m_typedSinceAction = false;
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
    if (m_selected && !empty && window() && window()->isKeyWindow() && window()->firstResponder() == this) {
        const double width = std::min(textRect.width(), TextMeasurer::current().size(m_text, m_font).width);
        painter.fillRect(Rect(textRect.minX(), textRect.minY(), width, textRect.height()), Color::rgb(0.7, 0.84, 1.0));
    }
    const Color colour = empty ? (dark ? Color::white(0.3) : Color::black(0.3)) : labelColor();
    painter.drawText(shown, textRect, m_font, colour, TextAlignment::left, LineBreakMode::clipping);
}

} // namespace lorvantine
