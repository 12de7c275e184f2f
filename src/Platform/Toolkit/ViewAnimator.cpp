#include "Platform/Toolkit/ViewAnimator.h"

#include "Platform/Toolkit/Window.h"

#include <algorithm>

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
    if (!animator.m_timer || !animator.m_timer->isValid())
        animator.m_timer = Timer::scheduled(frameInterval, Timer::Repeats::yes, [](Timer&) { shared().tick(); });
}

void ViewAnimator::animationsChanged(View& view)
{
    ViewAnimator& animator = shared();
    const Watched* watched = animator.find(view);
    view.lookChanged(watched ? watched->shown.drawn : Rect());
    if (Watched* again = animator.find(view))
        again->shown = shownBy(view);
    watch(view);
}

void ViewAnimator::tick()
{
    // What each window draws again this frame: where a changed view drew and where it draws now.
    std::vector<std::pair<std::weak_ptr<Window>, std::vector<Rect>>> dirty;
    for (size_t i = 0; i < m_views.size(); ++i) {
        auto view = m_views[i].view.lock();
        if (!view || !view->window())
            continue;
        Shown now = shownBy(*view);
        if (now == m_views[i].shown)
            continue;
        const Rect area = m_views[i].shown.drawn.united(now.drawn);
        m_views[i].shown = std::move(now);
        if (area.isEmpty())
            continue;
        std::weak_ptr<Window> window = view->window()->weak_from_this();
        auto entry = std::find_if(dirty.begin(), dirty.end(), [&](const auto& d) {
            return !d.first.owner_before(window) && !window.owner_before(d.first);
        });
        if (entry == dirty.end())
            dirty.push_back({ window, { area } });
        else
            entry->second.push_back(area);
    }
    std::erase_if(m_views, [this](const Watched& w) {
        auto view = w.view.lock();
        return !view || !wantsTicks(*view);
    });
    for (const auto& [weak, areas] : dirty)
        if (auto window = weak.lock())
            window->setNeedsDisplayInRects(areas);
    if (m_views.empty() && m_timer) {
        m_timer->invalidate();
        m_timer.reset();
    }
}

} // namespace lorvantine
