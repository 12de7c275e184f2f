#include "Overlay/ReadButtonView.h"

#include "Platform/Toolkit/AnimationContext.h"

namespace lorvantine {

namespace {
constexpr Color readButtonOrange = Color::rgb(0.9490196078431372, 0.396078431372549, 0.13333333333333333);
} // namespace

ReadButtonView::ReadButtonView(const Rect& frame) : View(frame)
{
    setBackgroundColor(readButtonOrange);
    setCornerRadius(frame.width() / 2);
    setShadowColor(Color::black());
    setShadowOpacity(0.28);
    setShadowRadius(6);
    setShadowOffset(Size { 0, -2 });
}

void ReadButtonView::updateTrackingAreas()
{
    if (m_hoverArea)
        removeTrackingArea(m_hoverArea);
    m_hoverArea = std::make_shared<TrackingArea>(bounds(), TrackingArea::mouseEnteredAndExited | TrackingArea::activeAlways);
    addTrackingArea(m_hoverArea);
}

void ReadButtonView::mouseEntered(const MouseEvent&)
{
    AnimationContext::run(seconds(hoverFadeSeconds), [this] { setAlphaValue(hoverAlpha); });
}

void ReadButtonView::mouseExited(const MouseEvent&)
{
    AnimationContext::run(seconds(hoverFadeSeconds), [this] { setAlphaValue(1.0); });
}

} // namespace lorvantine
