#include "Platform/Toolkit/ViewAnimator.h"

#include "Platform/Toolkit/Window.h"
#include "Platform/Toolkit/WindowHost.h"

#include <algorithm>
#include <utility>

namespace lorvantine {

namespace {
constexpr Duration frameInterval = seconds(1.0 / 60);
} // namespace

ViewAnimator& ViewAnimator::shared()
{
    static ViewAnimator animator;
    return animator;
}

ViewAnimator::Shown ViewAnimator::shownBy(const View& view)
{
    return { view.presentationAlpha(), view.presentationBackgroundColor(), view.presentationRotation(), view.presentationScale(),
             view.presentationFrame(), view.isHiddenOrHasHiddenAncestor() ? Rect() : view.drawnRectInWindow() };
}

ViewAnimator::Watched* ViewAnimator::find(const View& view)
{
    for (auto& watched : m_views)
        if (watched.view.lock().get() == &view)
            return &watched;
    return nullptr;
}

bool ViewAnimator::wantsTicks(const View& view) const
{
    if (!view.window() || view.animationsPaused())
        return false;
    const TimePoint now = Clock::current().now();
    return std::any_of(view.m_animations.begin(), view.m_animations.end(),
                       [&](const auto& entry) { return !entry.second->isSettled(now); });
}

void ViewAnimator::watch(View& view)
{
    ViewAnimator& animator = shared();
    if (view.weak_from_this().expired() || !animator.wantsTicks(view) || animator.find(view))
        return;
    std::erase_if(animator.m_views, [](const Watched& w) { return w.view.expired(); });
    // With nothing else animating, the frames start afresh from now (and on the clock installed
    // now).
    if (animator.m_views.empty() && animator.m_timer) {
        animator.m_timer->invalidate();
        animator.m_timer.reset();
    }
    animator.m_views.push_back({ view.weak_from_this(), shownBy(view) });
    const WindowHost* host = WindowHost::current();
    if (host && host->drawsFramesOnDemand())
        return;
    if (!animator.m_timer || !animator.m_timer->isValid())
        animator.m_timer = Timer::scheduled(frameInterval, Timer::Repeats::yes, [](Timer&) { shared().tick(); });
}

void ViewAnimator::lookChanged(View& view, const Shown& before)
{
    ViewAnimator& animator = shared();
    Shown now = shownBy(view);
    Watched* watched = animator.find(view);
    const Shown& drawn = watched ? watched->shown : before;
    if (!(now == drawn))
        view.lookChanged(drawn.drawn);
    if (watched)
        watched->shown = std::move(now);
    watch(view);
}

void ViewAnimator::drawFrame() { shared().tick(); }

bool ViewAnimator::drawWithNextFrame(Window& window, const std::vector<Rect>& areas)
{
    ViewAnimator& animator = shared();
    if (animator.m_drawing || !animator.m_timer || !animator.m_timer->isValid())
        return false;
    // Only while a view of that window still moves: the next frame is sure to come for it.
    const bool animating = std::any_of(animator.m_views.begin(), animator.m_views.end(), [&](const Watched& watched) {
        auto view = watched.view.lock();
        return view && view->window() == &window && animator.wantsTicks(*view);
    });
    if (!animating)
        return false;
    add(animator.m_nextFrame, window, areas);
    return true;
}

void ViewAnimator::add(Areas& areas, Window& window, const std::vector<Rect>& rects)
{
    std::weak_ptr<Window> weak = window.weak_from_this();
    auto entry = std::find_if(areas.begin(), areas.end(), [&](const auto& a) { return !a.first.owner_before(weak) && !weak.owner_before(a.first); });
    if (entry == areas.end())
        areas.push_back({ std::move(weak), rects });
    else
        entry->second.insert(entry->second.end(), rects.begin(), rects.end());
}

void ViewAnimator::tick()
{
    // What each window draws again this frame: what changed since the last one besides the
    // animations, and where a changed view drew and where it draws now.
    Areas dirty = std::exchange(m_nextFrame, {});
    for (size_t i = 0; i < m_views.size(); ++i) {
        auto view = m_views[i].view.lock();
        if (!view || !view->window())
            continue;
        Shown now = shownBy(*view);
        if (now == m_views[i].shown)
            continue;
        const Rect area = m_views[i].shown.drawn.united(now.drawn);
        m_views[i].shown = std::move(now);
        if (!area.isEmpty())
            add(dirty, *view->window(), { area });
    }
    std::erase_if(m_views, [this](const Watched& w) {
        auto view = w.view.lock();
        return !view || !wantsTicks(*view);
    });
    m_drawing = true;
    for (const auto& [weak, areas] : dirty)
        if (auto window = weak.lock())
            window->setNeedsDisplayInRects(areas);
    m_drawing = false;
    if (m_views.empty() && m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

} // namespace lorvantine
