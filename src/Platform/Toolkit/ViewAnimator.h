#pragma once

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Animation.h"
#include "Platform/Toolkit/View.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace lorvantine {

// One animation running on a view: its value follows the installed clock from `start`, except
// while it is paused (its window off screen), when it stands at `pausedAt`.
struct View::RunningAnimation {
    Animation animation;
    AnimationValue from;
    TimePoint start;
    std::optional<TimePoint> pausedAt;
    // Ends it when it has run its course (finite animations only); none while paused.
    std::shared_ptr<Timer> timer;
    std::function<void()> groupDone;
    bool ended = false;

    double totalSeconds() const;
    // The value shown at `now`; none once it has ended and is to be removed.
    std::optional<AnimationValue> valueAt(TimePoint now) const;
    // Whether it has reached its last value for good (finished and kept, not removed).
    bool isSettled(TimePoint now) const;
    // Marks it ended and says so, once.
    void end(bool finished);
};

// Redraws what animating views show, about sixty times a second on the main run loop, while any
// view in a window on screen animates: on each tick only the views whose shown values changed
// since the last one, and only where they draw, one request to each window. Views of windows off
// screen, views whose animations have all settled and views with none are let go; the timer
// stops when none is left. Main thread only.
class ViewAnimator {
public:
    // Starts redrawing `view` on each tick (once; nothing when its animations are paused).
    static void watch(View& view);
    // The view's animations changed (one added, ended or removed): what it showed on the last tick
    // and what it shows now are drawn again.
    static void animationsChanged(View& view);

private:
    struct Shown {
        double alpha = 1;
        std::optional<Color> backgroundColor;
        double rotation = 0;
        double scale = 1;
        Rect frame;
        // Where it drew, in the window.
        Rect drawn;
        bool operator==(const Shown&) const = default;
    };
    struct Watched {
        std::weak_ptr<View> view;
        Shown shown;
    };

    static ViewAnimator& shared();
    static Shown shownBy(const View& view);
    Watched* find(const View& view);
    void tick();
    bool wantsTicks(const View& view) const;

    std::vector<Watched> m_views;
    std::shared_ptr<Timer> m_timer;
};

} // namespace lorvantine
