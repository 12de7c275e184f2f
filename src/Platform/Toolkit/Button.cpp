#include "Platform/Toolkit/Button.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

Button::Button(const Rect& frame, std::string title) : View(frame), m_title(std::move(title)) { }

void Button::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    setNeedsDisplay();
}

void Button::setImage(std::optional<SymbolImage> image)
{
    if (image == m_image)
        return;
    m_image = std::move(image);
    setNeedsDisplay();
}

void Button::setImagePosition(ImagePosition position)
{
    m_imagePosition = position;
    setNeedsDisplay();
}

void Button::setBezelStyle(BezelStyle style)
{
    m_bezelStyle = style;
    setNeedsDisplay();
}

void Button::setBordered(bool bordered)
{
    m_bordered = bordered;
    setNeedsDisplay();
}

void Button::setContentTintColor(std::optional<Color> color)
{
    m_tint = color;
    setNeedsDisplay();
}

void Button::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void Button::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        setHighlighted(false);
    setNeedsDisplay();
}

void Button::setHighlighted(bool highlighted)
{
    if (highlighted == m_highlighted)
        return;
    m_highlighted = highlighted;
    setNeedsDisplay();
}

void Button::setKeyEquivalent(std::string key)
{
    if (key == m_keyEquivalent)
        return;
    m_keyEquivalent = std::move(key);
    setNeedsDisplay();
}

bool Button::performKeyEquivalent(const KeyEvent& event)
{
    if (m_keyEquivalent.empty() || !m_enabled || event.type != KeyEvent::Type::keyDown || isHiddenOrHasHiddenAncestor())
        return false;
    constexpr uint64_t shortcutFlags = EventFlags::maskCommand | EventFlags::maskControl | EventFlags::maskAlternate;
    if (event.modifierFlags & shortcutFlags)
        return false;
    const bool returnKey = event.keyCode == KeyEvent::keyReturn || event.keyCode == KeyEvent::keyEnter;
    const bool matches = m_keyEquivalent == returnKeyEquivalent ? returnKey
                                                                : m_keyEquivalent == escapeKeyEquivalent && event.keyCode == KeyEvent::keyEscape;
    if (!matches)
        return false;
    performClick();
    return true;
}

void Button::performClick()
{
    if (!m_enabled)
        return;
    // The owner may release the button from its action.
    auto keep = weak_from_this().lock();
    if (onAction)
        onAction();
}

std::string Button::accessibilityDescription() const { return m_image ? m_image->accessibilityDescription() : std::string(); }

bool Button::accessibilityPerformPress()
{
    if (!m_enabled)
        return false;
    performClick();
    return true;
}

void Button::mouseDown(const MouseEvent&)
{
    if (!m_enabled)
        return;
    m_tracking = true;
    setHighlighted(true);
}

void Button::mouseDragged(const MouseEvent& event)
{
    if (m_tracking)
        setHighlighted(bounds().contains(convertFromView(event.locationInWindow, nullptr)));
}

void Button::mouseUp(const MouseEvent& event)
{
    if (!m_tracking)
        return;
    m_tracking = false;
    setHighlighted(false);
    if (bounds().contains(convertFromView(event.locationInWindow, nullptr)))
        performClick();
}

void Button::draw(Painter& painter, const Rect&)
{
    const Rect box = bounds();
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    // Return presses it only while its window takes the keys, and only then is it shown as the default.
    const bool showsDefault = m_bordered && m_enabled && m_keyEquivalent == returnKeyEquivalent && window() && window()->isKeyWindow();
    if (m_bordered) {
        const bool pill = m_bezelStyle == BezelStyle::inlineBezel || m_bezelStyle == BezelStyle::recessed;
        const Rect bezel = box.insetBy(1, pill ? 2 : 3);
        const double radius = pill ? bezel.height() / 2 : 5;
        Color fill = dark ? Color::white(0.18) : Color::white();
        if (m_highlighted)
            fill = dark ? Color::white(0.3) : Color::rgb(0.85, 0.85, 0.85);
        if (showsDefault)
            fill = m_highlighted ? Color::rgb(0.0, 0.38, 0.85) : defaultButtonColor;
        painter.fillRoundedRect(bezel, radius, fill);
        painter.strokeRoundedRect(bezel.insetBy(0.25, 0.25), radius, dark ? Color::white(0.12) : Color::black(0.18), 0.5);
    }
    const bool dimmed = !m_enabled || (m_highlighted && !m_bordered);
    if (dimmed)
        painter.beginTransparencyLayer(m_enabled ? 0.55 : 0.35);

    const Color tint = showsDefault ? Color::white() : m_tint.value_or(labelColor());
    const bool showImage = m_image && m_imagePosition != ImagePosition::noImage;
    const bool showTitle = !m_title.empty() && m_imagePosition != ImagePosition::imageOnly;
    const Size imageSize = showImage ? m_image->size() : Size {};
    const Size titleSize = showTitle ? TextMeasurer::current().size(m_title, m_font) : Size {};
    const double gap = showImage && showTitle ? 4 : 0;

    Rect imageRect, titleRect;
    switch (m_imagePosition) {
    case ImagePosition::imageAbove:
    case ImagePosition::imageBelow: {
        const double total = imageSize.height + gap + titleSize.height;
        const double bottom = box.midY() - total / 2;
        const bool above = m_imagePosition == ImagePosition::imageAbove;
        const double titleY = above ? bottom : bottom + imageSize.height + gap;
        const double imageY = above ? bottom + titleSize.height + gap : bottom;
        imageRect = Rect(box.midX() - imageSize.width / 2, imageY, imageSize.width, imageSize.height);
        titleRect = Rect(box.midX() - titleSize.width / 2, titleY, titleSize.width, titleSize.height);
        break;
    }
    case ImagePosition::imageRight:
    case ImagePosition::imageTrailing: {
        const double total = titleSize.width + gap + imageSize.width;
        const double left = box.midX() - total / 2;
        titleRect = Rect(left, box.midY() - titleSize.height / 2, titleSize.width, titleSize.height);
        imageRect = Rect(left + titleSize.width + gap, box.midY() - imageSize.height / 2, imageSize.width, imageSize.height);
        break;
    }
    case ImagePosition::imageOverlaps:
    case ImagePosition::imageOnly:
    case ImagePosition::noImage:
    case ImagePosition::imageLeft:
    case ImagePosition::imageLeading:
    default: {
        const bool sideBySide = m_imagePosition == ImagePosition::imageLeft || m_imagePosition == ImagePosition::imageLeading;
        const double total = sideBySide ? imageSize.width + gap + titleSize.width : 0;
        const double left = box.midX() - total / 2;
        imageRect = sideBySide ? Rect(left, box.midY() - imageSize.height / 2, imageSize.width, imageSize.height)
                               : Rect(box.midX() - imageSize.width / 2, box.midY() - imageSize.height / 2, imageSize.width, imageSize.height);
        titleRect = sideBySide ? Rect(left + imageSize.width + gap, box.midY() - titleSize.height / 2, titleSize.width, titleSize.height)
                               : Rect(box.midX() - titleSize.width / 2, box.midY() - titleSize.height / 2, titleSize.width, titleSize.height);
        break;
    }
    }
    if (showImage)
        m_image->draw(painter, imageRect, tint);
    if (showTitle) {
        // Whole points keep the text crisp; a title wider than the button is cut at its edges.
        titleRect.origin.x = std::max(box.minX() + 2, std::round(titleRect.origin.x));
        titleRect.size.width = std::min(titleRect.width() + 1, box.width() - 4);
        painter.drawText(m_title, titleRect, m_font, tint, TextAlignment::left, LineBreakMode::truncatingTail);
    }
    if (dimmed)
        painter.endTransparencyLayer();
}

} // namespace lorvantine
