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
// stops when none is left. With a host that draws frames on demand there is no timer: the host
// asks for the frame (`drawFrame`) when it makes a picture. Main thread only.
class ViewAnimator {
public:
    // What a view shows of its animated values, and where it draws in its window.
    struct Shown {
        double alpha = 1;
        std::optional<Color> backgroundColor;
        double rotation = 0;
        double scale = 1;
        Rect frame;
        Rect drawn;
        bool operator==(const Shown&) const = default;
    };
    static Shown shownBy(const View& view);

    // Starts redrawing `view` on each tick (once; nothing when its animations are paused).
    static void watch(View& view);
    // Draws now, as a tick would, what the animating views show at this moment.
    static void drawFrame();
    // A change of the view's values or animations ended, which found it showing `before`: when
    // it shows something else than it was last drawn showing, that is drawn again (once, where
    // it was and where it is), and it is watched while it animates. An animation that starts
    // from what the view shows, or ends where its value stays, changes nothing on screen.
    static void lookChanged(View& view, const Shown& before);
    // While a window's views animate, its other changes wait for the next frame and are drawn
    // with it: true when `areas` (window coordinates) were taken for that.
    static bool drawWithNextFrame(Window& window, const std::vector<Rect>& areas);

private:
    struct Watched {
        std::weak_ptr<View> view;
        Shown shown;
    };

    static ViewAnimator& shared();
    Watched* find(const View& view);
    void tick();
    bool wantsTicks(const View& view) const;

    using Areas = std::vector<std::pair<std::weak_ptr<Window>, std::vector<Rect>>>;
    static void add(Areas& areas, Window& window, const std::vector<Rect>& rects);

    std::vector<Watched> m_views;
    std::shared_ptr<Timer> m_timer;
    Areas m_nextFrame;
    bool m_drawing = false;
};

} // namespace lorvantine
