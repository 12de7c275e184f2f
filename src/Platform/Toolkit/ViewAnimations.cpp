#include "Platform/Toolkit/ViewAnimator.h"

#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Window.h"

#include <algorithm>
#include <cmath>

// The view's animations: its animatable properties, what it shows while they animate, and the
// animations' course on the clock (paused while the view's window is off screen).

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

double View::RunningAnimation::totalSeconds() const
{
    return toSeconds(animation.duration) * animation.repeatCount * (animation.autoreverses ? 2 : 1);
}

std::optional<AnimationValue> View::RunningAnimation::valueAt(TimePoint now) const
{
    const double d = toSeconds(animation.duration);
    const double elapsed = toSeconds(pausedAt.value_or(now) - start);
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

bool View::RunningAnimation::isSettled(TimePoint now) const
{
    const double total = totalSeconds();
    return ended || toSeconds(animation.duration) <= 0 || (std::isfinite(total) && toSeconds(pausedAt.value_or(now) - start) >= total);
}

void View::RunningAnimation::end(bool finished)
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

class View::LookChange {
public:
    explicit LookChange(View& view)
        : m_view(view)
    {
        if (m_view.m_lookChanges++ == 0)
            m_before = ViewAnimator::shownBy(m_view);
    }
    ~LookChange()
    {
        if (--m_view.m_lookChanges == 0)
            ViewAnimator::lookChanged(m_view, m_before);
    }
    LookChange(const LookChange&) = delete;
    LookChange& operator=(const LookChange&) = delete;

private:
    View& m_view;
    ViewAnimator::Shown m_before;
};

void View::setAlphaValue(double alpha) { setAnimatable(AnimatedProperty::alpha, std::clamp(alpha, 0.0, 1.0)); }

void View::setBackgroundColor(std::optional<Color> color)
{
    if (!color) {
        LookChange change(*this);
        removeAnimation(keyFor(AnimatedProperty::backgroundColor));
        m_backgroundColor.reset();
        return;
    }
    setAnimatable(AnimatedProperty::backgroundColor, *color);
}

void View::setRotation(double radians) { setAnimatable(AnimatedProperty::rotation, radians); }

void View::setScale(double scale) { setAnimatable(AnimatedProperty::scale, scale); }

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
    // Most views animate nothing; reading the clock is the costly part for them.
    if (m_animations.empty())
        return shown;
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
    const std::optional<AnimationValue> animated = presentation(property);
    // Nothing to change, nor any animation of it to stop.
    if (!animated && modelValue(property) == value)
        return;
    const AnimationValue shown = animated.value_or(modelValue(property));
    LookChange change(*this);
    switch (property) {
    case AnimatedProperty::alpha: m_alpha = std::get<double>(value); break;
    case AnimatedProperty::backgroundColor: m_backgroundColor = std::get<Color>(value); break;
    case AnimatedProperty::rotation: m_rotation = std::get<double>(value); break;
    case AnimatedProperty::scale: m_scale = std::get<double>(value); break;
    case AnimatedProperty::frame: m_frame = std::get<Rect>(value); break;
    }
    animateImplicitly(property, shown, value);
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
    LookChange change(*this);
    removeAnimation(key);
    auto running = std::make_shared<RunningAnimation>();
    running->from = animation.from.value_or(presentation(animation.property).value_or(modelValue(animation.property)));
    running->start = Clock::current().now();
    running->animation = std::move(animation);
    if (animationsPaused())
        running->pausedAt = running->start;
    else
        scheduleEnd(running);
    m_animations.emplace_back(key, running);
}

void View::scheduleEnd(const std::shared_ptr<RunningAnimation>& running)
{
    const double total = running->totalSeconds();
    if (!std::isfinite(total))
        return;
    const double elapsed = toSeconds(Clock::current().now() - running->start);
    std::weak_ptr<View> weak = weak_from_this();
    std::weak_ptr<RunningAnimation> weakRunning = running;
    running->timer = Timer::scheduled(seconds(std::max(0.0, total - elapsed)), Timer::Repeats::no, [weak, weakRunning](Timer&) {
        auto view = weak.lock();
        auto ran = weakRunning.lock();
        if (!view || !ran || ran->ended)
            return;
        LookChange change(*view);
        if (ran->animation.removedOnCompletion)
            std::erase_if(view->m_animations, [&](const auto& entry) { return entry.second == ran; });
        ran->end(true);
    });
}

bool View::animationsPaused() const { return m_window && !m_window->isVisible(); }

void View::setAnimationsPaused(bool paused)
{
    pauseOwnAnimations(paused);
    for (auto& sub : m_subviews)
        sub->setAnimationsPaused(paused);
}

void View::pauseOwnAnimations(bool paused)
{
    const TimePoint now = Clock::current().now();
    for (auto& [key, running] : m_animations) {
        if (paused && !running->pausedAt) {
            running->pausedAt = now;
            if (running->timer)
                running->timer->invalidate();
            running->timer.reset();
        } else if (!paused && running->pausedAt) {
            running->start += now - *running->pausedAt;
            running->pausedAt.reset();
            scheduleEnd(running);
        }
    }
    if (!paused && !m_animations.empty())
        ViewAnimator::watch(*this);
}

void View::removeAnimation(const std::string& key)
{
    auto it = std::find_if(m_animations.begin(), m_animations.end(), [&](const auto& entry) { return entry.first == key; });
    if (it == m_animations.end())
        return;
    LookChange change(*this);
    auto running = it->second;
    m_animations.erase(it);
    running->end(false);
}

void View::removeAllAnimations()
{
    LookChange change(*this);
    auto all = std::move(m_animations);
    m_animations.clear();
    for (auto& [key, running] : all)
        running->end(false);
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



} // namespace lorvantine
