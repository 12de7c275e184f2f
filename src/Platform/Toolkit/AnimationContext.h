#pragma once

#include "Platform/Toolkit/Animation.h"
#include "Platform/Dispatch/Clock.h"

#include <functional>

namespace lorvantine {

// Implicit animations: inside `run`, setting an animatable view property (alpha, background
// colour, rotation) animates what the view shows from its present look to the new value over
// the group's duration; outside, and with a duration of 0, the change shows at once and stops
// an implicit animation of that property. Main thread.
//
//     AnimationContext::run(seconds(0.15), [&] { view->setAlphaValue(1); });
namespace AnimationContext {

// `completion` runs on the main queue once every animation the group started has ended (after
// the group's duration; soon when it started none).
void run(Duration duration, const std::function<void()>& changes, std::function<void()> completion = {},
         TimingFunction timing = TimingFunction::easeInEaseOut);

// The group in effect: its duration (0 outside `run`) and timing.
Duration currentDuration();
TimingFunction currentTiming();

// For views starting an implicit animation inside `run`: registers it with the group and answers
// what to call (once) when it ends. Empty outside `run`.
std::function<void()> enterAnimation();

} // namespace AnimationContext
} // namespace lorvantine
