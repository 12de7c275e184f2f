#include "Overlay/SelectionBubble.h"

#include "Overlay/SelectionBubbleView.h"
#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"

#include <algorithm>

namespace lorvantine {

namespace {

constexpr double buttonInset = 6;
constexpr double buttonSize = 28;
// The button's near corner lies this far from the pointer.
constexpr double pointerGap = 12;
constexpr Duration fadeIn = seconds(0.15);
constexpr uint32_t bubbleCollectionBehavior
    = CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary | CollectionBehavior::fullScreenAuxiliary;

} // namespace

SelectionBubble::SelectionBubble() = default;

SelectionBubble::~SelectionBubble()
{
    if (m_panel)
        m_panel->orderOut();
}

void SelectionBubble::show(Point mouseLocation, Mode mode)
{
    if (!m_panel)
        buildPanel();
    m_currentMode = mode;
    if (auto view = m_container.lock())
        view->setMode(mode);
    positionBubble(mouseLocation);
    m_panel->orderFrontRegardless();
}

void SelectionBubble::hide()
{
    m_container.reset();
    if (m_panel)
        m_panel->orderOut();
    m_panel.reset();
    m_currentMode = Mode::play;
}

void SelectionBubble::buildPanel()
{
    auto panel = std::make_shared<Panel>(Rect(0, 0, panelSize, panelSize), WindowStyle::nonactivatingPanel);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setLevel(WindowLevel::floating);
    panel->setHasShadow(false);
    panel->setCollectionBehavior(bubbleCollectionBehavior);
    panel->setHidesOnDeactivate(false);
    panel->setIgnoresMouseEvents(false);

    auto content = std::make_shared<View>(Rect(0, 0, panelSize, panelSize));
    auto button = std::make_shared<SelectionBubbleView>(Rect(buttonInset, buttonInset, buttonSize, buttonSize));
    button->setCornerRadius(6);
    button->setBorderWidth(1);
    button->setBorderColor(Color::white(0.08));
    button->setShadowColor(Color::black());
    button->setShadowOpacity(0.28);
    button->setShadowRadius(4);
    button->setShadowOffset(Size { 0, -2 });

    std::weak_ptr<SelectionBubble> weak = weak_from_this();
    button->onClick = [weak] {
        if (auto self = weak.lock())
            self->handleTap();
    };

    content->addSubview(button);
    panel->setContentView(content);
    button->setMode(Mode::play);

    content->setAlphaValue(0);
    AnimationContext::run(fadeIn, [&] { content->setAlphaValue(1); });

    m_panel = std::move(panel);
    m_container = button;
}

void SelectionBubble::positionBubble(Point m)
{
    if (!m_panel)
        return;
    auto screen = Screen::containing(m);
    if (!screen)
        screen = Screen::main();
    if (!screen)
        return;
    const Rect& area = screen->frame;
    const double s = m_panel->frame().width();

    double x = m.x + pointerGap - buttonInset;
    if (area.maxX() < x + s)
        x = m.x - s - pointerGap + buttonInset;
    double y = m.y - s - pointerGap + buttonInset;
    if (y < area.minY())
        y = m.y + pointerGap - buttonInset;
    x = std::max(area.minX(), std::min(area.maxX() - s, x));
    y = std::max(area.minY(), std::min(area.maxY() - s, y));
    m_panel->setFrameOrigin(Point { x, y });
}

void SelectionBubble::handleTap()
{
    if (m_currentMode == Mode::loading)
        return;
    if (onTap) {
        auto tap = onTap;
        tap();
    }
}

} // namespace lorvantine
