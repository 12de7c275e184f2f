#include "Platform/Toolkit/View.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/ViewAnimator.h"
#include "Platform/Toolkit/Window.h"

#include <algorithm>
#include <typeinfo>
#include <cmath>

namespace lorvantine {

View::View(const Rect& frame) : m_frame(frame) { MainQueue::requireMainThread("View"); }

View::~View()
{
    for (auto& [key, running] : m_animations) {
        if (running->timer)
            running->timer->invalidate();
        // A group waiting on this animation must not wait forever; the view's own callbacks are
        // not called from its destructor.
        running->animation.onCompletion = nullptr;
        running->end(false);
    }
    for (auto& sub : m_subviews) {
        sub->m_superview = nullptr;
        if (sub->m_window)
            sub->setWindow(nullptr);
    }
}

// --- Geometry ---

void View::setFrame(const Rect& frame)
{
    if (frame == m_frame)
        return;
    const bool sizeChanged = frame.size != m_frame.size;
    const AnimationValue shown = presentation(AnimatedProperty::frame).value_or(m_frame);
    m_frame = frame;
    animateImplicitly(AnimatedProperty::frame, shown, frame);
    geometryChanged(sizeChanged);
}

void View::setFrameOrigin(Point origin) { setFrame(Rect(origin, m_frame.size)); }
void View::setFrameSize(Size size) { setFrame(Rect(m_frame.origin, size)); }

void View::geometryChanged(bool sizeChanged)
{
    if (sizeChanged && m_window)
        updateTrackingAreas();
    propertyChanged();
}

// --- Tree ---

void View::addSubview(std::shared_ptr<View> view)
{
    if (!view || view.get() == this || isDescendantOf(*view))
        return;
    view->removeFromSuperview();
    view->m_superview = this;
    m_subviews.push_back(view);
    if (view->m_window != m_window)
        view->setWindow(m_window);
    propertyChanged();
}

void View::removeFromSuperview()
{
    View* parent = m_superview;
    if (!parent)
        return;
    std::shared_ptr<View> keep;
    for (auto it = parent->m_subviews.begin(); it != parent->m_subviews.end(); ++it) {
        if (it->get() == this) {
            keep = *it;
            parent->m_subviews.erase(it);
            break;
        }
    }
    m_superview = nullptr;
    if (m_window)
        setWindow(nullptr);
    parent->propertyChanged();
}

Window* View::window() const { return m_window; }

bool View::isDescendantOf(const View& view) const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v == &view)
            return true;
    return false;
}

void View::setWindow(Window* window)
{
    m_window = window;
    for (auto& area : m_trackingAreas)
        area->m_inside = (area->options() & TrackingArea::assumeInside) != 0;
    for (auto& sub : m_subviews)
        sub->setWindow(window);
    pauseOwnAnimations(animationsPaused());
    viewDidMoveToWindow();
    if (window)
        updateTrackingAreas();
}

// --- Look ---

void View::setHidden(bool hidden)
{
    if (hidden == m_hidden)
        return;
    m_hidden = hidden;
    propertyChanged();
}

bool View::isHiddenOrHasHiddenAncestor() const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v->m_hidden)
            return true;
    return false;
}

#define LV_SETTER(name, member, type)                                  \
    void View::name(type value)                                        \
    {                                                                  \
        if (member == value)                                           \
            return;                                                    \
        const Rect before = m_window ? drawnRectInWindow() : Rect();   \
        member = value;                                                \
        lookChanged(before);                                           \
    }

LV_SETTER(setCornerRadius, m_cornerRadius, double)
LV_SETTER(setMasksToBounds, m_masksToBounds, bool)
LV_SETTER(setBorderWidth, m_borderWidth, double)
LV_SETTER(setBorderColor, m_borderColor, const Color&)
LV_SETTER(setShadowColor, m_shadowColor, const Color&)
LV_SETTER(setShadowOpacity, m_shadowOpacity, double)
LV_SETTER(setShadowRadius, m_shadowRadius, double)
LV_SETTER(setShadowOffset, m_shadowOffset, Size)
#undef LV_SETTER

void View::setAppearance(std::optional<Appearance> appearance)
{
    if (appearance == m_appearance)
        return;
    m_appearance = appearance;
    propertyChanged();
}

Appearance View::effectiveAppearance() const
{
    for (const View* v = this; v; v = v->m_superview)
        if (v->m_appearance)
            return *v->m_appearance;
    return m_window ? m_window->effectiveAppearance() : Appearance::aqua;
}

Color View::labelColor() const
{
    return effectiveAppearance() == Appearance::darkAqua ? Color::white(0.85) : Color::black(0.85);
}

// --- Drawing ---

void View::propertyChanged()
{
    if (m_window)
        m_window->setNeedsDisplay();
}

void View::setNeedsDisplay() { propertyChanged(); }

void View::setNeedsDisplayInRect(const Rect& rect)
{
    if (!m_window || isHiddenOrHasHiddenAncestor())
        return;
    Rect inWindow = toSuperview(rect);
    for (const View* a = m_superview; a; a = a->m_superview)
        inWindow = a->toSuperview(inWindow);
    if (!inWindow.isEmpty())
        m_window->setNeedsDisplayInRects({ inWindow });
}

void View::lookChanged(const Rect& before)
{
    if (!m_window)
        return;
    const Rect now = isHiddenOrHasHiddenAncestor() ? Rect() : drawnRectInWindow();
    if (const Rect both = before.united(now); !both.isEmpty())
        m_window->setNeedsDisplayInRects({ both });
}

Rect View::ownDrawnRect() const
{
    Rect drawn = bounds();
    if (m_shadowOpacity > 0) {
        const double offsetY = isFlipped() ? -m_shadowOffset.height : m_shadowOffset.height;
        const Rect cast(drawn.minX() + m_shadowOffset.width, drawn.minY() + offsetY, drawn.width(), drawn.height());
        drawn = drawn.united(cast.insetBy(-m_shadowRadius, -m_shadowRadius));
    }
    return drawn;
}

Rect View::drawnRectInSuperview() const
{
    if (m_hidden)
        return {};
    // Subviews cut to its bounds draw nowhere its own rectangle does not hold.
    Rect subviews;
    if (!m_masksToBounds)
        for (const auto& sub : m_subviews)
            subviews = subviews.united(sub->drawnRectInSuperview());
    return toSuperview(ownDrawnRect().united(subviews));
}

bool View::mayShowWithin(const Rect& visible) const
{
    if (m_hidden)
        return false;
    // Its own rectangle first: when that shows, nothing more need be worked out.
    if (toSuperview(ownDrawnRect()).intersects(visible))
        return true;
    return !m_masksToBounds && !m_subviews.empty() && drawnRectInSuperview().intersects(visible);
}

Rect View::drawnRectInWindow() const
{
    Rect drawn = drawnRectInSuperview();
    for (const View* a = m_superview; a && !drawn.isEmpty(); a = a->m_superview) {
        if (a->m_masksToBounds)
            drawn = drawn.intersection(a->bounds());
        drawn = a->toSuperview(drawn);
    }
    return drawn;
}

// As drawTree places the view: scaled and turned about its centre, flipped when its superview's
// y axis runs the other way, at its shown origin.
Rect View::toSuperview(const Rect& rect) const
{
    if (rect.isEmpty())
        return {};
    // Culling asks this of every subview on every frame: a view that animates nothing shows its
    // own values.
    const bool animates = !m_animations.empty();
    const Rect shown = animates ? presentationFrame() : m_frame;
    const double w = shown.width(), h = shown.height();
    const double scale = animates ? presentationScale() : m_scale;
    const double rotation = (animates ? presentationRotation() : m_rotation) * (isFlipped() ? -1 : 1);
    const bool flip = (m_superview && m_superview->isFlipped()) != isFlipped();
    // Most views are only moved: no need to turn their corners.
    if (rotation == 0 && scale == 1 && !flip)
        return Rect(shown.origin.x + rect.minX(), shown.origin.y + rect.minY(), rect.width(), rect.height());
    const double c = std::cos(rotation), s = std::sin(rotation);
    double x0 = INFINITY, y0 = INFINITY, x1 = -INFINITY, y1 = -INFINITY;
    for (const Point corner : { Point { rect.minX(), rect.minY() }, Point { rect.maxX(), rect.minY() },
                                Point { rect.minX(), rect.maxY() }, Point { rect.maxX(), rect.maxY() } }) {
        const double dx = (corner.x - w / 2) * scale, dy = (corner.y - h / 2) * scale;
        const double x = w / 2 + dx * c - dy * s;
        double y = h / 2 + dx * s + dy * c;
        if (flip)
            y = h - y;
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
    return Rect(shown.origin.x + x0, shown.origin.y + y0, x1 - x0, y1 - y0);
}

void View::draw(Painter&, const Rect&) { }

namespace {

// Whether `inner` lies wholly within `outer`.
bool holds(const Rect& outer, const Rect& inner)
{
    return outer.size.width > 0 && outer.size.height > 0 && inner.minX() >= outer.minX() && inner.maxX() <= outer.maxX()
        && inner.minY() >= outer.minY() && inner.maxY() <= outer.maxY();
}

} // namespace

void View::drawTree(Painter& painter)
{
    if (m_hidden)
        return;
    const double alpha = presentationAlpha();
    if (alpha <= 0)
        return;
    const Rect shownFrame = presentationFrame();
    const double w = shownFrame.width(), h = shownFrame.height();
    const bool superFlipped = m_superview && m_superview->isFlipped();
    painter.save();
    painter.translate(shownFrame.origin.x, shownFrame.origin.y);
    if (superFlipped != isFlipped()) {
        // Between a flipped and an unflipped space the view's far edge becomes its origin.
        painter.translate(0, h);
        painter.scale(1, -1);
    }
    if (const double rotation = presentationRotation(); rotation != 0) {
        // A rotation is counter-clockwise on screen whichever way the view's own y axis grows.
        painter.translate(w / 2, h / 2);
        painter.rotate(isFlipped() ? -rotation : rotation);
        painter.translate(-w / 2, -h / 2);
    }
    if (const double scale = presentationScale(); scale != 1) {
        painter.translate(w / 2, h / 2);
        painter.scale(scale, scale);
        painter.translate(-w / 2, -h / 2);
    }
    // A plain view that paints nothing but its background (no drawing of its own, no border,
    // shadow or subviews) fades through the alpha of that one fill: a layer of its own would
    // come to the same pixels at many times the cost.
    const bool plain = typeid(*this) == typeid(View);
    const bool backgroundOnly = plain && m_subviews.empty() && m_borderWidth <= 0 && m_shadowOpacity <= 0;
    const bool layered = alpha < 1 && !backgroundOnly;
    if (layered)
        painter.beginTransparencyLayer(alpha);

    const Rect box(0, 0, w, h);
    // Outside the area being drawn again its own drawing is left as it was (its subviews may
    // still reach into it).
    const Rect visible = painter.clipBounds();
    const bool shows = ownDrawnRect().intersects(visible);
    if (!shows && m_masksToBounds) {
        if (layered)
            painter.endTransparencyLayer();
        painter.restore();
        return;
    }
    const std::optional<Color> background = presentationBackgroundColor();
    const bool hasShape = (background && !background->isClear()) || m_borderWidth > 0;
    if (shows && m_shadowOpacity > 0 && hasShape) {
        // A soft shadow: the shape spread by steps out to the radius, each step a little darker
        // towards the middle.
        const int steps = std::max(1, static_cast<int>(std::ceil(m_shadowRadius)));
        const double offsetY = isFlipped() ? -m_shadowOffset.height : m_shadowOffset.height;
        const Rect cast(box.minX() + m_shadowOffset.width, box.minY() + offsetY, box.width(), box.height());
        const double each = m_shadowOpacity * m_shadowColor.alpha / (steps + 1);
        for (int i = steps; i >= 0; --i) {
            const double spread = m_shadowRadius * i / steps - m_shadowRadius / 2;
            painter.fillRoundedRect(cast.insetBy(-spread, -spread), std::max(0.0, m_cornerRadius + spread),
                                    m_shadowColor.withAlpha(each));
        }
    }
    if (shows && background && !background->isClear())
        painter.fillRoundedRect(box, m_cornerRadius, layered ? *background : background->withAlpha(background->alpha * alpha));

    // A clip that cannot cut anything where drawing still shows is left out: a cut along a
    // rounded shape is one of the costliest things to draw.
    if (shows && !plain) {
        painter.save();
        if (!holds(box, visible))
            painter.clipRect(box);
        draw(painter, box);
        painter.restore();
    }

    const bool clips = m_masksToBounds && !holds(box.insetBy(m_cornerRadius, m_cornerRadius), visible);
    if (clips) {
        painter.save();
        if (m_cornerRadius > 0)
            painter.clip(Path::roundedRect(box, m_cornerRadius));
        else
            painter.clipRect(box);
    }
    // A subview that draws nowhere near the area being drawn again is left as it was, whole.
    const Rect within = clips ? painter.clipBounds() : visible;
    // Read by index, each held while it draws: no copy of the list for every view on every frame,
    // and a drawing that changes the tree stays safe.
    for (size_t i = 0; i < m_subviews.size(); ++i)
        if (m_subviews[i]->mayShowWithin(within))
            std::shared_ptr<View>(m_subviews[i])->drawTree(painter);
    if (clips)
        painter.restore();

    // Likewise a border that lies wholly outside what shows.
    const double edge = m_borderWidth + m_cornerRadius;
    if (shows && m_borderWidth > 0 && !holds(box.insetBy(edge, edge), visible)) {
        const double inset = m_borderWidth / 2;
        painter.strokeRoundedRect(box.insetBy(inset, inset), std::max(0.0, m_cornerRadius - inset), m_borderColor,
                                  m_borderWidth);
    }
    if (layered)
        painter.endTransparencyLayer();
    painter.restore();
}

// --- Events ---

View* View::hitTest(Point pointInSuperview)
{
    if (m_hidden)
        return nullptr;
    const Point p = fromSuperview(pointInSuperview);
    if (!bounds().contains(p))
        return nullptr;
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it)
        if (View* hit = (*it)->hitTest(p))
            return hit;
    return this;
}

bool View::acceptsFirstMouse(const MouseEvent&) const { return false; }

void View::keyDown(const KeyEvent& event)
{
    if (m_superview)
        m_superview->keyDown(event);
}

bool View::performKeyEquivalent(const KeyEvent& event)
{
    if (m_hidden)
        return false;
    // A button may take its window down with it: the list walked is a copy.
    const std::vector<std::shared_ptr<View>> subviews = m_subviews;
    for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
        if ((*it)->performKeyEquivalent(event))
            return true;
    return false;
}

void View::mouseDown(const MouseEvent& e) { if (m_superview) m_superview->mouseDown(e); }
void View::mouseUp(const MouseEvent& e) { if (m_superview) m_superview->mouseUp(e); }
void View::mouseDragged(const MouseEvent& e) { if (m_superview) m_superview->mouseDragged(e); }
void View::rightMouseDown(const MouseEvent& e) { if (m_superview) m_superview->rightMouseDown(e); }
void View::rightMouseUp(const MouseEvent& e) { if (m_superview) m_superview->rightMouseUp(e); }
void View::mouseMoved(const MouseEvent&) { }
void View::mouseEntered(const MouseEvent&) { }
void View::mouseExited(const MouseEvent&) { }

void View::addTrackingArea(std::shared_ptr<TrackingArea> area)
{
    if (area && std::find(m_trackingAreas.begin(), m_trackingAreas.end(), area) == m_trackingAreas.end())
        m_trackingAreas.push_back(std::move(area));
}

void View::removeTrackingArea(const std::shared_ptr<TrackingArea>& area) { std::erase(m_trackingAreas, area); }

Rect View::effectiveRect(const TrackingArea& area) const
{
    return (area.options() & TrackingArea::inVisibleRect) ? visibleRect() : area.rect();
}

// --- Accessibility ---

std::optional<AXValue> View::accessibilityTypedValue() const
{
    if (auto text = accessibilityValue())
        return AXValue(*text);
    return std::nullopt;
}

bool View::accessibilityPerformAction(const std::string& action)
{
    return action == "AXPress" && accessibilityPerformPress();
}

bool View::accessibilitySetValue(const AXValue&) { return false; }

// --- Coordinates ---

Point View::toSuperview(Point p) const
{
    const double h = m_frame.height();
    const double fromTop = isFlipped() ? p.y : h - p.y;
    const bool superFlipped = m_superview && m_superview->isFlipped();
    return { m_frame.origin.x + p.x, superFlipped ? m_frame.origin.y + fromTop : m_frame.origin.y + h - fromTop };
}

Point View::fromSuperview(Point p) const
{
    const double h = m_frame.height();
    const bool superFlipped = m_superview && m_superview->isFlipped();
    const double fromTop = superFlipped ? p.y - m_frame.origin.y : m_frame.origin.y + h - p.y;
    return { p.x - m_frame.origin.x, isFlipped() ? fromTop : h - fromTop };
}

Point View::convertToView(Point point, const View* view) const
{
    Point p = point;
    for (const View* v = this; v; v = v->m_superview)
        p = v->toSuperview(p);
    return view ? view->convertFromView(p, nullptr) : p;
}

Point View::convertFromView(Point point, const View* view) const
{
    Point p = view ? view->convertToView(point, nullptr) : point;
    std::vector<const View*> chain;
    for (const View* v = this; v; v = v->m_superview)
        chain.push_back(v);
    for (auto it = chain.rbegin(); it != chain.rend(); ++it)
        p = (*it)->fromSuperview(p);
    return p;
}

Rect View::convertToView(const Rect& rect, const View* view) const
{
    const Point a = convertToView(Point { rect.minX(), rect.minY() }, view);
    const Point b = convertToView(Point { rect.maxX(), rect.maxY() }, view);
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
}

Rect View::convertFromView(const Rect& rect, const View* view) const
{
    const Point a = convertFromView(Point { rect.minX(), rect.minY() }, view);
    const Point b = convertFromView(Point { rect.maxX(), rect.maxY() }, view);
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
}

Rect View::visibleRect() const
{
    Rect inWindow = convertToView(bounds(), nullptr);
    for (const View* a = m_superview; a; a = a->m_superview)
        inWindow = inWindow.intersection(a->convertToView(a->bounds(), nullptr));
    if (inWindow.isEmpty())
        return {};
    return convertFromView(inWindow, nullptr);
}

} // namespace lorvantine
