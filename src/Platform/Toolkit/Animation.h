#pragma once

#include "Platform/Dispatch/Clock.h"
#include "Platform/Geometry.h"
#include "Platform/Toolkit/Color.h"

#include <functional>
#include <limits>
#include <optional>
#include <variant>

namespace lorvantine {

// A property of a view that can animate.
enum class AnimatedProperty {
    alpha,           // double, 0...1
    backgroundColor, // Color (a view without a background animates from clear)
    rotation,        // double, radians, counter-clockwise about the view's centre
    scale,           // double, 1 = natural size, about the view's centre (drawing only)
    frame,           // Rect, in the superview (drawing only: hit testing keeps the frame itself)
};

enum class TimingFunction { linear, easeIn, easeOut, easeInEaseOut };

// How far along the curve `timing` is at `t` (both 0...1).
double applyTiming(TimingFunction timing, double t);

using AnimationValue = std::variant<double, Color, Rect>;

// An explicit animation of one view property, added with `View::addAnimation(key, ...)`. It runs
// on the installed clock from the moment it is added: what the view shows (its presentation
// value) follows the animation, while the property itself keeps its value. A finished animation
// is removed and the view shows the property again, unless `removedOnCompletion` is false (it
// then keeps showing `to` until removed). A plain value.
struct Animation {
    static constexpr double repeatForever = std::numeric_limits<double>::infinity();

    AnimatedProperty property = AnimatedProperty::alpha;
    std::optional<AnimationValue> from; // none: the value shown when it is added
    AnimationValue to = 1.0;
    Duration duration = seconds(0.25);
    double repeatCount = 1; // whole and fractional repeats; `repeatForever`
    // Each repeat runs from `from` to `to` and back again, taking twice `duration`.
    bool autoreverses = false;
    TimingFunction timing = TimingFunction::linear;
    bool removedOnCompletion = true;
    // On the main thread when it ends: true when it ran to its end, false when it was removed
    // or replaced first.
    std::function<void(bool finished)> onCompletion;
};

} // namespace lorvantine
