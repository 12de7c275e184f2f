#include "Platform/Toolkit/PopUpButton.h"

#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/TextMeasurer.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

// One row of the open menu.
class PopUpMenuItemView final : public View {
public:
    PopUpMenuItemView(const Rect& frame, PopUpButton& owner, int index)
        : View(frame), m_owner(owner.weak_from_this()), m_index(index), m_title(owner.itemTitles()[index]),
          m_font(owner.font()), m_checked(index == owner.indexOfSelectedItem())
    {
    }

    void updateTrackingAreas() override
    {
        for (auto area : trackingAreas())
            removeTrackingArea(area);
        addTrackingArea(std::make_shared<TrackingArea>(
            bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways | TrackingArea::inVisibleRect));
    }
    void mouseEntered(const MouseEvent&) override;
    void mouseExited(const MouseEvent&) override;
    bool acceptsFirstMouse(const MouseEvent&) const override { return true; }
    void mouseDown(const MouseEvent&) override { }
    void mouseUp(const MouseEvent& event) override
    {
        if (bounds().contains(convertFromView(event.locationInWindow, nullptr)))
            choose();
    }

    void draw(Painter& painter, const Rect&) override
    {
        const Rect box = bounds();
        const bool dark = effectiveAppearance() == Appearance::darkAqua;
        Color text = labelColor();
        if (m_highlighted) {
            painter.fillRoundedRect(box.insetBy(4, 0), 4, Color::rgb(0.0, 0.45, 0.9));
            text = Color::white();
        }
        if (m_checked) {
            Path tick;
            tick.moveTo({ 9, box.midY() });
            tick.lineTo({ 12, box.midY() - 3.5 });
            tick.lineTo({ 17, box.midY() + 4 });
            painter.stroke(tick, text, 1.5, LineCap::round);
        }
        const double lineHeight = TextMeasurer::current().lineHeight(m_font);
        painter.drawText(m_title, Rect(22, box.midY() - lineHeight / 2, box.width() - 30, lineHeight), m_font,
                         dark || m_highlighted ? text : Color::black(0.85));
    }

    std::string accessibilityRole() const override { return "AXMenuItem"; }
    std::string accessibilityTitle() const override { return m_title; }
    bool accessibilityPerformPress() override
    {
        choose();
        return true;
    }

    void setHighlighted(bool highlighted)
    {
        if (highlighted == m_highlighted)
            return;
        m_highlighted = highlighted;
        setNeedsDisplay();
    }
    void choose()
    {
        if (auto owner = std::static_pointer_cast<PopUpButton>(m_owner.lock()))
            owner->choose(m_index);
    }

private:
    std::weak_ptr<View> m_owner;
    int m_index;
    std::string m_title;
    Font m_font;
    bool m_checked;
    bool m_highlighted = false;
};

namespace {

// The open menu: every mouse event comes here while it is open, and a press outside closes it;
// so do the keys typed, whichever application is in front: Up and Down move the highlight along
// the items, Return (or Enter) chooses the highlighted one, Escape closes the menu and does
// nothing else, and a shortcut with Command goes to the window of the pop-up button.
class PopUpMenuPanel final : public Panel {
public:
    PopUpMenuPanel(const Rect& contentRect, PopUpButton& owner)
        : Panel(contentRect, WindowStyle::borderless | WindowStyle::nonactivatingPanel), m_owner(owner.weak_from_this())
    {
    }

    void addItem(std::shared_ptr<PopUpMenuItemView> item) { m_items.push_back(std::move(item)); }
    int highlighted() const { return m_highlighted; }
    // -1: none.
    void highlight(int index)
    {
        m_highlighted = index >= 0 && index < static_cast<int>(m_items.size()) ? index : -1;
        for (size_t i = 0; i < m_items.size(); ++i)
            m_items[i]->setHighlighted(static_cast<int>(i) == m_highlighted);
    }

    void sendEvent(const MouseEvent& event) override
    {
        const bool down = event.type == MouseEvent::Type::leftMouseDown || event.type == MouseEvent::Type::rightMouseDown;
        const Rect whole(0, 0, frame().width(), frame().height());
        if (down && !whole.contains(event.locationInWindow)) {
            if (auto owner = owningButton())
                owner->closeMenu();
            return;
        }
        if (down)
            m_pressedInside = true;
        // The release that ends the click which opened the menu chooses nothing.
        const bool up = event.type == MouseEvent::Type::leftMouseUp || event.type == MouseEvent::Type::rightMouseUp;
        if (up && !m_pressedInside)
            return;
        Window::sendEvent(event);
    }

    void sendKeyEvent(const KeyEvent& event) override
    {
        // Choosing or closing releases the menu.
        auto keep = shared_from_this();
        auto owner = owningButton();
        if (!owner || event.type != KeyEvent::Type::keyDown)
            return;
        if (event.modifierFlags & EventFlags::maskCommand) {
            if (Window* window = owner->window())
                window->sendKeyEvent(event);
            return;
        }
        const int last = static_cast<int>(m_items.size()) - 1;
        switch (event.keyCode) {
        case KeyEvent::keyEscape:
            owner->closeMenu();
            return;
        case KeyEvent::keyDownArrow:
            highlight(m_highlighted < 0 ? 0 : std::min(m_highlighted + 1, last));
            return;
        case KeyEvent::keyUpArrow:
            highlight(m_highlighted < 0 ? last : std::max(m_highlighted - 1, 0));
            return;
        case KeyEvent::keyReturn:
        case KeyEvent::keyEnter:
            if (m_highlighted >= 0)
                m_items[static_cast<size_t>(m_highlighted)]->choose();
            else
                owner->closeMenu();
            return;
        default:
            return;
        }
    }

private:
    std::shared_ptr<PopUpButton> owningButton() const { return std::static_pointer_cast<PopUpButton>(m_owner.lock()); }

    std::weak_ptr<View> m_owner;
    std::vector<std::shared_ptr<PopUpMenuItemView>> m_items;
    int m_highlighted = -1;
    bool m_pressedInside = false;
};

class PopUpMenuView final : public View {
public:
    using View::View;
    std::string accessibilityRole() const override { return "AXMenu"; }
};

} // namespace

void PopUpMenuItemView::mouseEntered(const MouseEvent&)
{
    if (auto* menu = dynamic_cast<PopUpMenuPanel*>(window()))
        menu->highlight(m_index);
}

void PopUpMenuItemView::mouseExited(const MouseEvent&)
{
    if (auto* menu = dynamic_cast<PopUpMenuPanel*>(window()); menu && menu->highlighted() == m_index)
        menu->highlight(-1);
}

PopUpButton::PopUpButton(const Rect& frame) : View(frame) { }

PopUpButton::~PopUpButton()
{
    if (m_menu) {
        if (Window::mouseCapture() == m_menu.get())
            Window::setMouseCapture(nullptr);
        m_menu->orderOut();
    }
}

void PopUpButton::addItem(std::string title)
{
    // The platform's menus hold each title once: adding one again moves it to the end.
    std::string selected = titleOfSelectedItem();
    auto existing = std::find(m_items.begin(), m_items.end(), title);
    if (existing != m_items.end())
        m_items.erase(existing);
    m_items.push_back(std::move(title));
    if (m_selected >= 0)
        m_selected = static_cast<int>(std::find(m_items.begin(), m_items.end(), selected) - m_items.begin());
    else if (!m_pullsDown && m_items.size() == 1)
        m_selected = 0;
    setNeedsDisplay();
}

void PopUpButton::addItems(const std::vector<std::string>& titles)
{
    for (const auto& title : titles)
        addItem(title);
}

void PopUpButton::removeAllItems()
{
    closeMenu();
    m_items.clear();
    m_selected = -1;
    setNeedsDisplay();
}

void PopUpButton::selectItem(int index)
{
    const int selected = index >= 0 && index < numberOfItems() ? index : -1;
    if (selected == m_selected)
        return;
    m_selected = selected;
    setNeedsDisplay();
}

bool PopUpButton::selectItem(const std::string& title)
{
    auto it = std::find(m_items.begin(), m_items.end(), title);
    selectItem(it == m_items.end() ? -1 : static_cast<int>(it - m_items.begin()));
    return it != m_items.end();
}

std::string PopUpButton::titleOfSelectedItem() const { return m_selected >= 0 ? m_items[m_selected] : std::string(); }

void PopUpButton::setFont(Font font)
{
    m_font = std::move(font);
    setNeedsDisplay();
}

void PopUpButton::setBordered(bool bordered)
{
    m_bordered = bordered;
    setNeedsDisplay();
}

void PopUpButton::setArrowPosition(ArrowPosition position)
{
    m_arrowPosition = position;
    setNeedsDisplay();
}

void PopUpButton::setEnabled(bool enabled)
{
    if (enabled == m_enabled)
        return;
    m_enabled = enabled;
    if (!enabled)
        closeMenu();
    setNeedsDisplay();
}

double PopUpButton::widestTitle() const
{
    double widest = 0;
    for (const auto& title : m_items)
        widest = std::max(widest, TextMeasurer::current().size(title, m_font).width);
    return widest;
}

double PopUpButton::titleMargins() const
{
    const double arrowRoom = m_arrowPosition == ArrowPosition::arrowAtCenter ? 16 : 0;
    const double inset = m_bordered ? 8 : 4;
    return inset + arrowRoom + 2;
}

double PopUpButton::fittingWidth() const { return std::ceil(widestTitle()) + titleMargins(); }

void PopUpButton::openMenu()
{
    if (m_menu || !m_enabled || !window() || m_items.empty())
        return;
    const double width = std::ceil(std::max(frame().width(), widestTitle() + 34));
    const double height = m_items.size() * menuRowHeight + 2 * menuPadding;
    const Rect button = window()->convertRectToScreen(convertToView(bounds(), nullptr));
    Rect content(button.minX(), button.minY() - 2 - height, width, height);
    // Above the button when the screen has no room below it.
    const auto screen = Screen::containing({ button.midX(), button.midY() });
    if (screen && content.minY() < screen->frame.minY())
        content.origin.y = button.maxY() + 2;

    auto menu = std::make_shared<PopUpMenuPanel>(content, *this);
    menu->setLevel(WindowLevel::popUpMenu);
    menu->setOpaque(false);
    menu->setBackgroundColor(Color::clear());
    menu->setAppearance(effectiveAppearance());
    menu->setTitle("");
    auto list = std::make_shared<PopUpMenuView>(Rect(0, 0, width, height));
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    list->setBackgroundColor(dark ? Color::rgb(0.17, 0.17, 0.18) : Color::rgb(0.97, 0.97, 0.97));
    list->setCornerRadius(6);
    list->setBorderWidth(0.5);
    list->setBorderColor(dark ? Color::white(0.2) : Color::black(0.2));
    for (int i = 0; i < numberOfItems(); ++i) {
        const double y = height - menuPadding - (i + 1) * menuRowHeight;
        auto item = std::make_shared<PopUpMenuItemView>(Rect(0, y, width, menuRowHeight), *this, i);
        list->addSubview(item);
        menu->addItem(std::move(item));
    }
    menu->contentView()->addSubview(list);
    // It opens on the item chosen before, as the platform's pop-up menus do.
    menu->highlight(m_selected);
    m_menu = menu;
    std::weak_ptr<View> weak = weak_from_this();
    menu->onWillClose = [weak] {
        if (auto self = std::static_pointer_cast<PopUpButton>(weak.lock()))
            self->closeMenu();
    };
    Window::setMouseCapture(menu.get());
    menu->orderFront();
    window()->addChildWindow(*menu);
    Window::setKeyCapture(menu.get());
    setNeedsDisplay();
}

void PopUpButton::closeMenu()
{
    if (!m_menu)
        return;
    auto menu = std::move(m_menu);
    m_menu.reset();
    if (Window::mouseCapture() == menu.get())
        Window::setMouseCapture(nullptr);
    menu->orderOut();
    setNeedsDisplay();
}

void PopUpButton::choose(int index)
{
    auto keep = weak_from_this().lock();
    closeMenu();
    if (index < 0 || index >= numberOfItems())
        return;
    selectItem(index);
    if (onAction)
        onAction();
}

bool PopUpButton::accessibilityPerformPress()
{
    if (!m_enabled)
        return false;
    if (m_menu)
        closeMenu();
    else
        openMenu();
    return true;
}

void PopUpButton::mouseDown(const MouseEvent&)
{
    if (!m_enabled)
        return;
    if (m_menu)
        closeMenu();
    else
        openMenu();
}

void PopUpButton::mouseUp(const MouseEvent&) { }

void PopUpButton::draw(Painter& painter, const Rect&)
{
    const Rect box = bounds();
    const bool dark = effectiveAppearance() == Appearance::darkAqua;
    if (m_bordered) {
        const Rect bezel = box.insetBy(1, 2);
        painter.fillRoundedRect(bezel, 5, dark ? Color::white(0.18) : Color::white());
        painter.strokeRoundedRect(bezel.insetBy(0.25, 0.25), 5, dark ? Color::white(0.12) : Color::black(0.18), 0.5);
    }
    if (!m_enabled)
        painter.beginTransparencyLayer(0.35);
    const Color text = labelColor();
    const double lineHeight = TextMeasurer::current().lineHeight(m_font);
    const double inset = m_bordered ? 8 : 4;
    const std::string title = m_pullsDown ? (m_items.empty() ? std::string() : m_items.front()) : titleOfSelectedItem();
    const double textBottom = m_arrowPosition == ArrowPosition::arrowAtBottom ? box.midY() - lineHeight / 2 + 2 : box.midY() - lineHeight / 2;
    painter.drawText(title, Rect(inset, textBottom, std::max(0.0, box.width() - titleMargins()), lineHeight), m_font, text);
    if (m_arrowPosition == ArrowPosition::arrowAtCenter) {
        const double x = box.maxX() - 11, y = box.midY();
        Path chevrons;
        chevrons.moveTo({ x - 3, y + 1.5 });
        chevrons.lineTo({ x, y + 4.5 });
        chevrons.lineTo({ x + 3, y + 1.5 });
        chevrons.moveTo({ x - 3, y - 1.5 });
        chevrons.lineTo({ x, y - 4.5 });
        chevrons.lineTo({ x + 3, y - 1.5 });
        painter.stroke(chevrons, text, 1.3, LineCap::round);
    } else if (m_arrowPosition == ArrowPosition::arrowAtBottom) {
        const double x = box.midX(), y = box.minY() + 3;
        Path arrow;
        arrow.moveTo({ x - 3, y + 3 });
        arrow.lineTo({ x + 3, y + 3 });
        arrow.lineTo({ x, y });
        arrow.close();
        painter.fill(arrow, text.withAlpha(text.alpha * 0.7));
    }
    if (!m_enabled)
        painter.endTransparencyLayer();
}

} // namespace lorvantine
