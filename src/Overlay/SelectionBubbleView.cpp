#include "Overlay/SelectionBubbleView.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/ImageView.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/SymbolImage.h"

#include <numbers>

namespace lorvantine {

namespace {

constexpr Duration hoverTransition = seconds(0.12);
constexpr double pressedDarkening = 0.15;
constexpr double iconPointSize = 14;
constexpr double spinnerInset = 16;
constexpr double spinnerSweep = 0.78 * 2 * std::numbers::pi;
constexpr Duration spinnerTurn = seconds(0.9);

// The loading arc: an open ring turned by the rotation animation of its view.
class SpinnerArcView final : public View {
public:
    using View::View;

    void draw(Painter& painter, const Rect&) override
    {
        const double w = frame().width();
        Path arc;
        arc.addArc(Point { w / 2, w / 2 }, (w - spinnerInset) / 2, 0, spinnerSweep, false);
        painter.stroke(arc, Color::white(), 2, LineCap::round);
    }
};

} // namespace

SelectionBubbleView::SelectionBubbleView(const Rect& frame) : View(frame) { }

void SelectionBubbleView::setMode(Mode mode)
{
    m_mode = mode;
    for (auto* icon : { &m_playIcon, &m_errorIcon }) {
        if (*icon)
            (*icon)->removeFromSuperview();
        icon->reset();
    }
    if (m_spinnerLayer) {
        m_spinnerLayer->removeAllAnimations();
        m_spinnerLayer->removeFromSuperview();
        m_spinnerLayer.reset();
    }

    // A new mode shows at once, even when the caller is inside an animation group.
    AnimationContext::run(Duration::zero(), [&] { setBackgroundColor(restingColor()); });
    switch (mode) {
    case Mode::play:
        m_playIcon = makeIcon("speaker.wave.2.fill", Color::white());
        break;
    case Mode::loading:
        addSpinner();
        break;
    case Mode::error:
        m_errorIcon = makeIcon("arrow.clockwise", Color::white());
        break;
    }
}

std::shared_ptr<ImageView> SelectionBubbleView::makeIcon(const std::string& name, const Color& tint)
{
    auto icon = std::make_shared<ImageView>(bounds());
    icon->setImageScaling(ImageView::Scaling::none);
    if (auto symbol = SymbolImage::named(name))
        icon->setImage(symbol->withConfiguration(iconPointSize, Font::Weight::medium).withPaletteColor(tint));
    icon->setContentTintColor(tint);
    addSubview(icon);
    return icon;
}

void SelectionBubbleView::addSpinner()
{
    auto spinner = std::make_shared<SpinnerArcView>(bounds());
    Animation rotate;
    rotate.property = AnimatedProperty::rotation;
    rotate.from = 0.0;
    rotate.to = -2 * std::numbers::pi;
    rotate.duration = spinnerTurn;
    rotate.repeatCount = Animation::repeatForever;
    rotate.removedOnCompletion = false;
    addSubview(spinner);
    spinner->addAnimation(spinnerAnimationKey, std::move(rotate));
    m_spinnerLayer = std::move(spinner);
}

void SelectionBubbleView::updateTrackingAreas()
{
    View::updateTrackingAreas();
    for (const auto& area : std::vector(trackingAreas()))
        removeTrackingArea(area);
    addTrackingArea(std::make_shared<TrackingArea>(
        bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways | TrackingArea::inVisibleRect));
}

Color SelectionBubbleView::restingColor() const
{
    switch (m_mode) {
    case Mode::play: return m_isHovering ? hoverColor() : darkColor();
    case Mode::loading: return darkColor();
    case Mode::error: return errorColor();
    }
    return darkColor();
}

void SelectionBubbleView::setBackgroundAnimated(const Color& color)
{
    AnimationContext::run(hoverTransition, [&] { setBackgroundColor(color); });
}

void SelectionBubbleView::mouseEntered(const MouseEvent&)
{
    m_isHovering = true;
    if (m_mode == Mode::play)
        setBackgroundAnimated(hoverColor());
}

void SelectionBubbleView::mouseExited(const MouseEvent&)
{
    m_isHovering = false;
    if (m_mode == Mode::play)
        setBackgroundAnimated(darkColor());
}

void SelectionBubbleView::mouseDown(const MouseEvent&)
{
    switch (m_mode) {
    case Mode::play:
        setBackgroundAnimated(m_isHovering ? hoverColor().blended(pressedDarkening, Color::black()) : darkColor());
        break;
    case Mode::error:
        setBackgroundAnimated(errorColor().blended(pressedDarkening, Color::black()));
        break;
    case Mode::loading:
        break;
    }
}

void SelectionBubbleView::mouseUp(const MouseEvent& event)
{
    if (m_mode == Mode::loading)
        return;
    setBackgroundAnimated(restingColor());
    if (bounds().contains(convertFromView(event.locationInWindow, nullptr)) && onClick) {
        auto click = onClick;
        click();
    }
}

} // namespace lorvantine
