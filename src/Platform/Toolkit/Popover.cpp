#include "Platform/Toolkit/Popover.h"

#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/View.h"

#include <algorithm>
#include <utility>
#include <vector>

namespace lorvantine {

namespace {

// The popover's card takes keyboard focus while shown, as the platform's does, so its controls
// answer the first click; Escape closes it and does nothing else.
class PopoverPanel final : public Panel {
public:
    PopoverPanel(const Rect& rect, Popover& popover)
        : Panel(rect, WindowStyle::borderless | WindowStyle::nonactivatingPanel), m_popover(popover)
    {
    }
    bool canBecomeKey() const override { return true; }
    void sendKeyEvent(const KeyEvent& event) override
    {
        if (event.type == KeyEvent::Type::keyDown && event.keyCode == KeyEvent::keyEscape) {
            auto keep = shared_from_this();
            m_popover.close();
            return;
        }
        Panel::sendKeyEvent(event);
    }

private:
    Popover& m_popover;
};

std::vector<Popover*>& shownTransientPopovers()
{
    static std::vector<Popover*> popovers;
    return popovers;
}

constexpr double popoverCornerRadius = 10;

} // namespace

Popover::Popover() : m_contentView(std::make_shared<View>(Rect(0, 0, 320, 280))) { }

Popover::~Popover()
{
    std::erase(shownTransientPopovers(), this);
    if (m_panel)
        m_panel->orderOut();
}

void Popover::setContentSize(Size size)
{
    m_contentSize = size;
    if (m_contentView)
        m_contentView->setFrame(Rect(0, 0, size.width, size.height));
}

void Popover::setContentView(std::shared_ptr<View> view)
{
    m_contentView = std::move(view);
    if (m_contentView)
        m_contentView->setFrame(Rect(0, 0, m_contentSize.width, m_contentSize.height));
}

void Popover::show(const Rect& rect, View& view, Edge edge)
{
    Window* owner = view.window();
    Rect anchor = view.convertToView(rect, nullptr);
    if (owner)
        anchor = owner->convertRectToScreen(anchor);

    const double w = m_contentSize.width, h = m_contentSize.height;
    Point origin;
    switch (edge) {
    case Edge::minY: origin = { anchor.midX() - w / 2, anchor.minY() - gap - h }; break;
    case Edge::maxY: origin = { anchor.midX() - w / 2, anchor.maxY() + gap }; break;
    case Edge::minX: origin = { anchor.minX() - gap - w, anchor.midY() - h / 2 }; break;
    case Edge::maxX: origin = { anchor.maxX() + gap, anchor.midY() - h / 2 }; break;
    }
    if (auto screen = Screen::nearest(Rect(origin, Size { w, h }))) {
        const Rect& visible = screen->visibleFrame;
        origin.x = std::clamp(origin.x, visible.minX(), std::max(visible.minX(), visible.maxX() - w));
        origin.y = std::clamp(origin.y, visible.minY(), std::max(visible.minY(), visible.maxY() - h));
    }

    if (!m_panel) {
        m_panel = std::make_shared<PopoverPanel>(Rect(origin, Size { w, h }), *this);
        m_panel->setLevel(WindowLevel::popUpMenu);
        m_panel->setWorksWhenModal(true);
        m_panel->setOpaque(false);
        m_panel->setBackgroundColor(Color::clear());
        m_panel->setHasShadow(true);
        auto card = std::make_shared<View>(Rect(0, 0, w, h));
        card->setBackgroundColor(Color::rgb(0.965, 0.965, 0.965));
        card->setCornerRadius(popoverCornerRadius);
        card->setBorderWidth(0.5);
        card->setBorderColor(Color::black(0.18));
        m_panel->setContentView(card);
        if (m_contentView)
            card->addSubview(m_contentView);
    } else {
        m_panel->setFrame(Rect(origin, Size { w, h }));
    }
    m_positioningWindow = owner ? owner->weak_from_this() : std::weak_ptr<Window>();
    if (Window* key = Window::keyWindow(); key && key != m_panel.get())
        m_keyBefore = key->weak_from_this();
    m_panel->makeKeyAndOrderFront();
    // A popover of the menu bar takes the keys as its menus do.
    Window::setKeyCapture(m_panel.get());
    auto& shown = shownTransientPopovers();
    std::erase(shown, this);
    if (m_behavior != Behavior::applicationDefined)
        shown.push_back(this);
}

void Popover::close()
{
    std::erase(shownTransientPopovers(), this);
    if (!m_panel)
        return;
    auto panel = std::move(m_panel);
    if (m_contentView)
        m_contentView->removeFromSuperview();
    const bool wasKey = panel->isKeyWindow();
    panel->orderOut();
    // The keys go back where they were (an alert waiting, the preferences).
    if (auto before = std::exchange(m_keyBefore, {}).lock(); before && wasKey)
        before->makeKeyWindow();
    if (onDidClose)
        onDidClose();
}

bool Popover::isShown() const { return m_panel && m_panel->isVisible(); }

Panel* Popover::panel() const { return m_panel.get(); }

void Popover::mouseDownOnDesktop(const Window* window)
{
    const std::vector<Popover*> shown = shownTransientPopovers();
    for (Popover* popover : shown) {
        // One closed by an earlier one's handler is no longer listed.
        if (std::find(shownTransientPopovers().begin(), shownTransientPopovers().end(), popover) == shownTransientPopovers().end())
            continue;
        if (window && (window == popover->m_panel.get() || window == popover->m_positioningWindow.lock().get()))
            continue;
        popover->close();
    }
}

} // namespace lorvantine
