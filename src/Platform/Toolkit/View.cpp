#include "Platform/Toolkit/View.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/Window.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

const char* keyFor(AnimatedProperty property)
{
    switch (property) {
    case AnimatedProperty::alpha: return "alphaValue";
    case AnimatedProperty::backgroundColor: return "backgroundColor";
    case AnimatedProperty::rotation: return "transform.rotation.z";
    case AnimatedProperty::scale: return "transform.scale";
    case AnimatedProperty::frame: return "frame";
    }
    return "";
}

AnimationValue interpolate(const AnimationValue& from, const AnimationValue& to, double t)
{
    if (const double* a = std::get_if<double>(&from))
        if (const double* b = std::get_if<double>(&to))
            return *a + (*b - *a) * t;
    if (const Color* a = std::get_if<Color>(&from))
        if (const Color* b = std::get_if<Color>(&to))
            return a->blended(t, *b);
    if (const Rect* a = std::get_if<Rect>(&from))
        if (const Rect* b = std::get_if<Rect>(&to))
            return Rect(a->origin.x + (b->origin.x - a->origin.x) * t, a->origin.y + (b->origin.y - a->origin.y) * t,
                        a->size.width + (b->size.width - a->size.width) * t,
                        a->size.height + (b->size.height - a->size.height) * t);
    return t < 1 ? from : to;
}

} // namespace

struct View::RunningAnimation {
    Animation animation;
    AnimationValue from;
    TimePoint start;
    std::shared_ptr<Timer> timer;
    std::function<void()> groupDone;
    bool ended = false;

    double totalSeconds() const
    {
        return toSeconds(animation.duration) * animation.repeatCount * (animation.autoreverses ? 2 : 1);
    }

    // The value shown at `now`; none once it has ended and is to be removed.
    std::optional<AnimationValue> valueAt(TimePoint now) const
    {
        const double d = toSeconds(animation.duration);
        const double elapsed = toSeconds(now - start);
        const double total = totalSeconds();
        if (d <= 0 || (std::isfinite(total) && elapsed >= total)) {
            if (animation.removedOnCompletion)
                return std::nullopt;
            return animation.to;
        }
        if (animation.autoreverses) {
            // One repeat is there and back: the way back retraces the way out.
            const double legs = std::max(0.0, elapsed / d);
            const double leg = std::floor(legs);
            const double along = legs - leg;
            const double t = static_cast<int64_t>(leg) % 2 == 0 ? along : 1 - along;
            return interpolate(from, animation.to, applyTiming(animation.timing, t));
        }
        const double cycles = std::max(0.0, elapsed / d);
        return interpolate(from, animation.to, applyTiming(animation.timing, cycles - std::floor(cycles)));
    }

    // Marks it ended and says so, once.
    void end(bool finished)
    {
        if (ended)
            return;
        ended = true;
        if (timer)
            timer->invalidate();
        timer.reset();
        auto completion = std::move(animation.onCompletion);
        auto done = std::move(groupDone);
        if (completion)
            completion(finished);
        if (done)
            done();
    }
};

// Redraws the windows of animating views about sixty times a second on the main run loop.
class ViewAnimator {
public:
    static void watch(View& view)
    {
        std::weak_ptr<View> weak = view.weak_from_this();
        if (weak.expired())
            return;
        auto& views = shared().m_views;
        std::erase_if(views, [](const std::weak_ptr<View>& w) { return w.expired(); });
        for (const auto& w : views)
            if (!w.owner_before(weak) && !weak.owner_before(w))
                return;
        // With nothing else animating, the frames start afresh from now (and on the clock
        // installed now).
        if (views.empty() && shared().m_timer) {
            shared().m_timer->invalidate();
            shared().m_timer.reset();
        }
        views.push_back(weak);
        if (!shared().m_timer || !shared().m_timer->isValid())
            shared().m_timer = Timer::scheduled(seconds(1.0 / 60), Timer::Repeats::yes, [](Timer&) { shared().tick(); });
    }

private:
    static ViewAnimator& shared()
    {
        static ViewAnimator animator;
        return animator;
    }

    void tick()
    {
        std::vector<std::weak_ptr<View>> views = m_views;
        std::erase_if(m_views, [](const std::weak_ptr<View>& w) {
            auto view = w.lock();
            return !view || view->m_animations.empty();
        });
        for (const auto& w : views)
            if (auto view = w.lock(); view && view->window())
                view->window()->setNeedsDisplay();
        if (m_views.empty() && m_timer) {
            m_timer->invalidate();
            m_timer.reset();
        }
    }

    std::vector<std::weak_ptr<View>> m_views;
    std::shared_ptr<Timer> m_timer;
};

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
    viewDidMoveToWindow();
    if (window) {
        updateTrackingAreas();
        if (!m_animations.empty())
            ViewAnimator::watch(*this);
    }
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

void View::setAlphaValue(double alpha) { setAnimatable(AnimatedProperty::alpha, std::clamp(alpha, 0.0, 1.0)); }

void View::setBackgroundColor(std::optional<Color> color)
{
    if (!color) {
        removeAnimation(keyFor(AnimatedProperty::backgroundColor));
        m_backgroundColor.reset();
        propertyChanged();
        return;
    }
    setAnimatable(AnimatedProperty::backgroundColor, *color);
}

void View::setRotation(double radians) { setAnimatable(AnimatedProperty::rotation, radians); }

void View::setScale(double scale) { setAnimatable(AnimatedProperty::scale, scale); }

#define LV_SETTER(name, member, type)  \
    void View::name(type value)        \
    {                                  \
        if (member == value)           \
            return;                    \
        member = value;                \
        propertyChanged();             \
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

// --- Animations ---

AnimationValue View::modelValue(AnimatedProperty property) const
{
    switch (property) {
    case AnimatedProperty::alpha: return m_alpha;
    case AnimatedProperty::backgroundColor: return m_backgroundColor.value_or(Color::clear());
    case AnimatedProperty::rotation: return m_rotation;
    case AnimatedProperty::scale: return m_scale;
    case AnimatedProperty::frame: return m_frame;
    }
    return 0.0;
}

std::optional<AnimationValue> View::presentation(AnimatedProperty property) const
{
    std::optional<AnimationValue> shown;
    const TimePoint now = Clock::current().now();
    for (const auto& [key, running] : m_animations)
        if (running->animation.property == property)
            if (auto value = running->valueAt(now))
                shown = value;
    return shown;
}

double View::presentationAlpha() const
{
    auto shown = presentation(AnimatedProperty::alpha);
    const double* value = shown ? std::get_if<double>(&*shown) : nullptr;
    return value ? std::clamp(*value, 0.0, 1.0) : m_alpha;
}

std::optional<Color> View::presentationBackgroundColor() const
{
    auto shown = presentation(AnimatedProperty::backgroundColor);
    if (const Color* value = shown ? std::get_if<Color>(&*shown) : nullptr)
        return *value;
    return m_backgroundColor;
}

double View::presentationRotation() const
{
    auto shown = presentation(AnimatedProperty::rotation);
    const double* value = shown ? std::get_if<double>(&*shown) : nullptr;
    return value ? *value : m_rotation;
}

double View::presentationScale() const
{
    auto shown = presentation(AnimatedProperty::scale);
    const double* value = shown ? std::get_if<double>(&*shown) : nullptr;
    return value ? *value : m_scale;
}

Rect View::presentationFrame() const
{
    auto shown = presentation(AnimatedProperty::frame);
    const Rect* value = shown ? std::get_if<Rect>(&*shown) : nullptr;
    return value ? *value : m_frame;
}

void View::setAnimatable(AnimatedProperty property, AnimationValue value)
{
    const AnimationValue shown = presentation(property).value_or(modelValue(property));
    switch (property) {
    case AnimatedProperty::alpha: m_alpha = std::get<double>(value); break;
    case AnimatedProperty::backgroundColor: m_backgroundColor = std::get<Color>(value); break;
    case AnimatedProperty::rotation: m_rotation = std::get<double>(value); break;
    case AnimatedProperty::scale: m_scale = std::get<double>(value); break;
    case AnimatedProperty::frame: m_frame = std::get<Rect>(value); break;
    }
    animateImplicitly(property, shown, value);
    propertyChanged();
}

void View::animateImplicitly(AnimatedProperty property, const AnimationValue& shown, const AnimationValue& value)
{
    const Duration duration = AnimationContext::currentDuration();
    if (duration > Duration::zero() && !weak_from_this().expired()) {
        if (!(shown == value)) {
            Animation animation;
            animation.property = property;
            animation.from = shown;
            animation.to = value;
            animation.duration = duration;
            animation.timing = AnimationContext::currentTiming();
            addAnimation(keyFor(property), std::move(animation));
            m_animations.back().second->groupDone = AnimationContext::enterAnimation();
        }
    } else {
        removeAnimation(keyFor(property));
    }
}

void View::addAnimation(const std::string& key, Animation animation)
{
    MainQueue::requireMainThread("View::addAnimation");
    removeAnimation(key);
    auto running = std::make_shared<RunningAnimation>();
    running->from = animation.from.value_or(presentation(animation.property).value_or(modelValue(animation.property)));
    running->start = Clock::current().now();
    running->animation = std::move(animation);
    const double total = running->totalSeconds();
    if (std::isfinite(total)) {
        std::weak_ptr<View> weak = weak_from_this();
        std::weak_ptr<RunningAnimation> weakRunning = running;
        running->timer = Timer::scheduled(seconds(std::max(0.0, total)), Timer::Repeats::no, [weak, weakRunning](Timer&) {
            auto view = weak.lock();
            auto ran = weakRunning.lock();
            if (!view || !ran || ran->ended)
                return;
            if (ran->animation.removedOnCompletion)
                std::erase_if(view->m_animations, [&](const auto& entry) { return entry.second == ran; });
            ran->end(true);
            view->animationsChanged();
        });
    }
    m_animations.emplace_back(key, running);
    animationsChanged();
}

void View::removeAnimation(const std::string& key)
{
    auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& entry) { return entry.first == key; });
    if (it == m_animations.end())
        return;
    auto running = it->second;
    m_animations.erase(it);
    running->end(false);
    animationsChanged();
}

void View::removeAllAnimations()
{
    auto all = std::move(m_animations);
    m_animations.clear();
    for (auto& [key, running] : all)
        running->end(false);
    if (!all.empty())
        animationsChanged();
}

std::vector<std::string> View::animationKeys() const
{
    std::vector<std::string> keys;
    for (const auto& [key, running] : m_animations)
        keys.push_back(key);
    return keys;
}

const Animation* View::animation(const std::string& key) const
{
    for (const auto& [k, running] : m_animations)
        if (k == key)
            return &running->animation;
    return nullptr;
}

void View::animationsChanged()
{
    if (!m_animations.empty() && m_window)
        ViewAnimator::watch(*this);
    propertyChanged();
}

// --- Drawing ---

void View::propertyChanged()
{
    if (m_window)
        m_window->setNeedsDisplay();
}

void View::setNeedsDisplay() { propertyChanged(); }

void View::draw(Painter&, const Rect&) { }

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
    if (alpha < 1)
        painter.beginTransparencyLayer(alpha);

    const Rect box(0, 0, w, h);
    const std::optional<Color> background = presentationBackgroundColor();
    const bool hasShape = (background && !background->isClear()) || m_borderWidth > 0;
    if (m_shadowOpacity > 0 && hasShape) {
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
    if (background && !background->isClear())
        painter.fillRoundedRect(box, m_cornerRadius, *background);

    painter.save();
    painter.clip(Path::rect(box));
    draw(painter, box);
    painter.restore();

    const auto subviews = m_subviews;
    if (m_masksToBounds) {
        painter.save();
        painter.clip(Path::roundedRect(box, m_cornerRadius));
    }
    for (const auto& sub : subviews)
        sub->drawTree(painter);
    if (m_masksToBounds)
        painter.restore();

    if (m_borderWidth > 0) {
        const double inset = m_borderWidth / 2;
        painter.strokeRoundedRect(box.insetBy(inset, inset), std::max(0.0, m_cornerRadius - inset), m_borderColor,
                                  m_borderWidth);
    }
    if (alpha < 1)
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
