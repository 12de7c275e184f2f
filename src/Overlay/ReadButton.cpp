#include "Overlay/ReadButton.h"

#include "Accessibility/AXReader.h"
#include "Accessibility/WindowFollowObserver.h"
#include "Overlay/ReadButtonView.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Button.h"
#include "Platform/Toolkit/LocalizedStrings.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/Spinner.h"

namespace lorvantine {

namespace {
constexpr uint32_t readButtonCollectionBehavior = CollectionBehavior::canJoinAllSpaces | CollectionBehavior::stationary;
} // namespace

ReadButton::ReadButton() = default;

ReadButton::~ReadButton() { hide(); }

void ReadButton::show(const AXElement& window)
{
    hide();
    m_trackedWindow = window;

    auto panel = std::make_shared<Panel>(Rect(0, 0, panelSide, panelSide), WindowStyle::nonactivatingPanel);
    panel->setOpaque(false);
    panel->setBackgroundColor(Color::clear());
    panel->setLevel(WindowLevel::floating);
    panel->setHasShadow(false);
    panel->setCollectionBehavior(readButtonCollectionBehavior);
    panel->setHidesOnDeactivate(false);

    auto container = std::make_shared<View>(Rect(0, 0, panelSide, panelSide));
    const double inset = (panelSide - circleSide) / 2;
    auto circle = std::make_shared<ReadButtonView>(Rect(inset, inset, circleSide, circleSide));
    container->addSubview(circle);

    auto button = std::make_shared<Button>(Rect(0, 0, circleSide, circleSide));
    const std::string description = LocalizedStrings::string("accessibility.speak_icon", "Speak icon accessibility");
    if (auto image = SymbolImage::named("play.fill", description))
        button->setImage(image->withConfiguration(14, Font::Weight::semibold));
    button->setImagePosition(ImagePosition::imageOnly);
    button->setBordered(false);
    button->setContentTintColor(Color::white());
    button->onAction = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->handleTap();
    };
    circle->addSubview(button);
    m_playButton = button;

    auto spinner = std::make_shared<Spinner>(Rect(9, 9, 18, 18));
    spinner->setControlSize(Spinner::ControlSize::small);
    spinner->setHidden(true);
    spinner->setAppearance(Appearance::darkAqua);
    circle->addSubview(spinner);
    m_spinner = spinner;

    panel->setContentView(container);
    m_panel = panel;

    follow(window);
    m_fallbackTimer = Timer::scheduled(seconds(fallbackInterval), Timer::Repeats::yes, [weak = weak_from_this()](Timer&) {
        if (auto self = weak.lock())
            self->repositionFromWindow();
    });
    if (auto rect = AXReader::rect(window))
        positionButton(*rect);
    m_panel->orderFrontRegardless();
}

void ReadButton::updateTracking(const AXElement& window)
{
    if (m_trackedWindow == window) {
        repositionFromWindow();
        return;
    }
    if (m_followObserver)
        m_followObserver->stop();
    m_trackedWindow = window;
    follow(window);
}

void ReadButton::hide()
{
    if (m_followObserver) {
        m_followObserver->stop();
        m_followObserver.reset();
    }
    if (m_fallbackTimer) {
        m_fallbackTimer->invalidate();
        m_fallbackTimer.reset();
    }
    if (m_spinner) {
        m_spinner->stopAnimation();
        m_spinner.reset();
    }
    m_playButton.reset();
    m_isLoading = false;
    if (m_panel) {
        m_panel->orderOut();
        m_panel.reset();
    }
    m_trackedWindow.reset();
}

void ReadButton::setLoading(bool loading)
{
    m_isLoading = loading;
    DispatchQueue::main().async([weak = weak_from_this(), loading] {
        auto self = weak.lock();
        if (!self)
            return;
        if (self->m_playButton)
            self->m_playButton->setHidden(loading);
        if (!self->m_spinner)
            return;
        self->m_spinner->setHidden(!loading);
        if (loading)
            self->m_spinner->startAnimation();
        else
            self->m_spinner->stopAnimation();
    });
}

void ReadButton::positionButton(const Rect& windowRect)
{
    if (!m_panel)
        return;
    // Without a screen there is no menu-bar height to flip by: the panel stays where it is.
    const std::optional<double> height = Screen::primaryHeight();
    if (!height)
        return;
    const double inset = (panelSide - circleSide) / 2;
    m_panel->setFrameOrigin(Point { windowRect.maxX() - circleSide - edgeInset - inset,
                                    *height - windowRect.maxY() + edgeInset - inset });
}

void ReadButton::handleTap()
{
    if (m_isLoading)
        return;
    if (onTap)
        onTap();
}

void ReadButton::follow(const AXElement& window)
{
    m_followObserver = std::make_unique<WindowFollowObserver>(window, [weak = weak_from_this()](const Rect& rect) {
        if (auto self = weak.lock())
            self->positionButton(rect);
    });
    m_followObserver->start();
}

void ReadButton::repositionFromWindow()
{
    if (!m_followObserver)
        return;
    auto rect = AXReader::rect(m_followObserver->window());
    if (!rect)
        return;
    m_followObserver->setLastRect(*rect);
    positionButton(*rect);
}

} // namespace lorvantine
