#include "Platform/Toolkit/Window.h"

#include "Platform/Toolkit/AnimationContext.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/Painter.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/ViewAnimator.h"
#include "Platform/Toolkit/WindowCloseButton.h"
#include "Platform/Toolkit/WindowHost.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace lorvantine {

namespace {
Window* s_keyWindow = nullptr;
Window* s_mouseCapture = nullptr;
Window* s_modalWindow = nullptr;
Window* s_keyCapture = nullptr;
int s_screenUpdatesDisabled = 0;
// The windows asked to draw while screen updates were disabled.
std::vector<std::weak_ptr<Window>> s_undrawn;
// The program's windows on screen, in no particular order.
std::vector<const Window*> s_onScreen;

// A menu-bar program holds the front only while it shows a titled window (the preferences, the
// onboarding window, an alert): its panels float beside the work of the application in front.
void giveUpTheFrontWithoutTitledWindows()
{
    Application& application = Application::shared();
    if (application.activationPolicy() == ActivationPolicy::regular)
        return;
    if (std::any_of(s_onScreen.begin(), s_onScreen.end(), [](const Window* w) { return w->isTitled(); }))
        return;
    application.deactivate();
}
} // namespace

Window::Window(const Rect& contentRect, uint32_t styleMask) : m_styleMask(styleMask)
{
    MainQueue::requireMainThread("Window");
    m_frame = contentRect;
    if (isTitled())
        m_frame.size.height += titleBarHeight;
    if (isTitled() && isClosable()) {
        m_closeButton = std::make_shared<WindowCloseButton>();
        m_closeButton->onAction = [this] { performClose(); };
        m_closeButton->setWindow(this);
    }
    setContentView(std::make_shared<View>(Rect(0, 0, contentRect.width(), contentRect.height())));
}

Window::~Window()
{
    endAlphaFade();
    if (m_visible)
        if (WindowHost* host = WindowHost::current())
            host->orderOut(*this);
    if (s_keyWindow == this)
        s_keyWindow = nullptr;
    if (s_mouseCapture == this)
        s_mouseCapture = nullptr;
    if (s_modalWindow == this)
        s_modalWindow = nullptr;
    if (s_keyCapture == this)
        s_keyCapture = nullptr;
    std::erase(s_onScreen, this);
    if (m_contentView)
        m_contentView->setWindow(nullptr);
    if (m_closeButton) {
        // Whoever still holds the button finds no window behind it.
        m_closeButton->onAction = nullptr;
        m_closeButton->setWindow(nullptr);
    }
}

// --- Geometry ---

void Window::setFrame(const Rect& frame)
{
    if (frame == m_frame)
        return;
    m_frame = frame;
    layoutContentView();
    windowPropertyChanged();
}

void Window::setFrameOrigin(Point origin) { setFrame(Rect(origin, m_frame.size)); }

Rect Window::contentRect() const
{
    const double bar = isTitled() ? std::min(titleBarHeight, m_frame.height()) : 0;
    return Rect(m_frame.minX(), m_frame.minY(), m_frame.width(), m_frame.height() - bar);
}

void Window::setContentSize(Size size)
{
    const double bar = isTitled() ? titleBarHeight : 0;
    // The top edge stays where it is, as the platform keeps it.
    const double top = m_frame.maxY();
    setFrame(Rect(m_frame.minX(), top - size.height - bar, size.width, size.height + bar));
}

void Window::center()
{
    auto screen = Screen::main();
    if (!screen)
        return;
    const Rect& area = screen->visibleFrame.isEmpty() ? screen->frame : screen->visibleFrame;
    const double x = area.minX() + (area.width() - m_frame.width()) / 2;
    // A little above the middle: a third of the free space above, two thirds below.
    const double y = area.minY() + (area.height() - m_frame.height()) * 2 / 3;
    setFrameOrigin({ std::floor(x), std::floor(y) });
}

std::optional<ScreenInfo> Window::screen() const
{
    std::optional<ScreenInfo> best;
    double bestArea = 0;
    for (const auto& s : Screen::screens()) {
        const Rect overlap = s.frame.intersection(m_frame);
        const double area = overlap.width() * overlap.height();
        if (area > bestArea) {
            bestArea = area;
            best = s;
        }
    }
    return best ? best : Screen::main();
}

void Window::layoutContentView()
{
    const Rect content = contentRect();
    if (m_contentView)
        m_contentView->setFrame(Rect(0, 0, content.width(), content.height()));
    if (m_closeButton) {
        const double bar = m_frame.height() - content.height();
        m_closeButton->setFrameOrigin(
            { WindowCloseButton::leftInset, content.height() + (bar - WindowCloseButton::diameter) / 2 });
    }
}

// --- Properties ---

void Window::setTitle(std::string title)
{
    if (title == m_title)
        return;
    m_title = std::move(title);
    windowPropertyChanged();
    setNeedsDisplay();
}

void Window::setLevel(int32_t level)
{
    if (level == m_level)
        return;
    m_level = level;
    windowPropertyChanged();
}

void Window::setOpaque(bool opaque)
{
    if (opaque == m_opaque)
        return;
    m_opaque = opaque;
    setNeedsDisplay();
}

void Window::setBackgroundColor(const Color& color)
{
    if (color == m_backgroundColor)
        return;
    m_backgroundColor = color;
    setNeedsDisplay();
}

struct Window::AlphaFade {
    double from = 1;
    double to = 1;
    TimePoint start {};
    Duration duration {};
    TimingFunction timing = TimingFunction::linear;
    std::shared_ptr<Timer> timer;
    std::function<void()> groupDone;
};

void Window::setAlphaValue(double alpha)
{
    alpha = std::clamp(alpha, 0.0, 1.0);
    endAlphaFade();
    const Duration duration = AnimationContext::currentDuration();
    if (duration > Duration::zero() && alpha != m_alpha && !weak_from_this().expired()) {
        auto fade = std::make_shared<AlphaFade>();
        fade->from = m_alpha;
        fade->to = alpha;
        fade->start = Clock::current().now();
        fade->duration = duration;
        fade->timing = AnimationContext::currentTiming();
        fade->groupDone = AnimationContext::enterAnimation();
        fade->timer = Timer::scheduled(seconds(1.0 / 60), Timer::Repeats::yes, [weak = weak_from_this()](Timer&) {
            if (auto window = weak.lock())
                window->stepAlphaFade();
        });
        m_alphaFade = std::move(fade);
        return;
    }
    if (alpha == m_alpha)
        return;
    m_alpha = alpha;
    windowPropertyChanged();
}

void Window::stepAlphaFade()
{
    if (!m_alphaFade)
        return;
    const AlphaFade& fade = *m_alphaFade;
    const double t = std::clamp(toSeconds(Clock::current().now() - fade.start) / toSeconds(fade.duration), 0.0, 1.0);
    const double eased = applyTiming(fade.timing, t);
    m_alpha = fade.from + (fade.to - fade.from) * eased;
    windowPropertyChanged();
    if (t >= 1)
        endAlphaFade();
}

void Window::endAlphaFade()
{
    if (!m_alphaFade)
        return;
    auto fade = std::move(m_alphaFade);
    fade->timer->invalidate();
    if (fade->groupDone)
        fade->groupDone();
}

void Window::setIgnoresMouseEvents(bool ignores)
{
    if (ignores == m_ignoresMouseEvents)
        return;
    m_ignoresMouseEvents = ignores;
    windowPropertyChanged();
}

void Window::setAppearance(std::optional<Appearance> appearance)
{
    if (appearance == m_appearance)
        return;
    m_appearance = appearance;
    setNeedsDisplay();
}

bool Window::canBecomeKey() const { return isTitled(); }
bool Window::canBecomeMain() const { return isTitled(); }

// --- Content ---

void Window::setContentView(std::shared_ptr<View> view)
{
    if (view == m_contentView)
        return;
    if (m_contentView)
        m_contentView->setWindow(nullptr);
    if (view) {
        view->removeFromSuperview();
        m_contentView = std::move(view);
        layoutContentView();
        m_contentView->setWindow(this);
    } else {
        m_contentView.reset();
    }
    setNeedsDisplay();
}

// --- Ordering ---

void Window::orderFront()
{
    MainQueue::requireMainThread("Window::orderFront");
    m_closed = false;
    const bool wasVisible = m_visible;
    m_visible = true;
    if (!wasVisible)
        s_onScreen.push_back(this);
    if (WindowHost* host = WindowHost::current())
        m_windowNumber = host->orderFront(*this);
    if (!wasVisible && m_contentView) {
        m_contentView->setAnimationsPaused(false);
        std::vector<View*> stack { m_contentView.get() };
        while (!stack.empty()) {
            View* v = stack.back();
            stack.pop_back();
            v->updateTrackingAreas();
            for (auto& sub : v->subviews())
                stack.push_back(sub.get());
        }
    }
    if (!wasVisible && !m_whenVisible.empty()) {
        auto keep = weak_from_this().lock();
        for (auto& action : std::exchange(m_whenVisible, {}))
            action();
    }
}

void Window::orderFrontRegardless() { orderFront(); }

void Window::performWhenVisible(std::function<void()> action)
{
    if (m_visible)
        action();
    else
        m_whenVisible.push_back(std::move(action));
}

void Window::makeKeyAndOrderFront()
{
    orderFront();
    makeKeyWindow();
}

void Window::makeKeyWindow()
{
    if (m_visible && canBecomeKey())
        becomeKey();
}

void Window::becomeKey()
{
    if (s_keyWindow == this)
        return;
    Window* previous = s_keyWindow;
    s_keyWindow = this;
    if (previous)
        previous->setNeedsDisplay();
    if (!firstResponder()) {
        // The first view that takes keys, in the order a person tabs through them.
        const std::vector<View*> loop = keyViewLoop();
        if (!loop.empty())
            makeFirstResponder(loop.front());
    }
    setNeedsDisplay();
}

bool Window::isKeyWindow() const { return s_keyWindow == this; }

View* Window::closeButton() const { return m_closeButton.get(); }

Window* Window::keyWindow() { return s_keyWindow; }

void Window::orderOut()
{
    MainQueue::requireMainThread("Window::orderOut");
    if (!m_visible)
        return;
    trackPointer(std::nullopt);
    m_visible = false;
    std::erase(s_onScreen, this);
    if (s_keyWindow == this)
        s_keyWindow = nullptr;
    if (s_mouseCapture == this)
        s_mouseCapture = nullptr;
    if (s_keyCapture == this)
        setKeyCapture(nullptr);
    if (m_contentView)
        m_contentView->setAnimationsPaused(true);
    if (WindowHost* host = WindowHost::current())
        host->orderOut(*this);
    for (const auto& weak : std::exchange(m_childWindows, {}))
        if (auto child = weak.lock())
            child->close();
    if (isTitled())
        giveUpTheFrontWithoutTitledWindows();
}

void Window::close()
{
    if (m_closed)
        return;
    m_closed = true;
    // Kept alive through the callback, which may drop the owner's reference.
    auto keep = weak_from_this().lock();
    // A field being typed in ends its editing before the window goes.
    makeFirstResponder(nullptr);
    if (onWillClose)
        onWillClose();
    orderOut();
}

void Window::performClose()
{
    if (isTitled() && isClosable() && m_visible)
        close();
}

void Window::addChildWindow(Window& child)
{
    std::erase_if(m_childWindows, [](const std::weak_ptr<Window>& w) { return w.expired(); });
    m_childWindows.push_back(child.weak_from_this());
}

// --- Coordinates ---

Point Window::convertPointToScreen(Point p) const { return { p.x + m_frame.minX(), p.y + m_frame.minY() }; }
Point Window::convertPointFromScreen(Point p) const { return { p.x - m_frame.minX(), p.y - m_frame.minY() }; }
Rect Window::convertRectToScreen(const Rect& r) const { return Rect(convertPointToScreen(r.origin), r.size); }
Rect Window::convertRectFromScreen(const Rect& r) const { return Rect(convertPointFromScreen(r.origin), r.size); }

// --- For the host ---

void Window::windowPropertyChanged()
{
    if (m_visible)
        if (WindowHost* host = WindowHost::current())
            host->windowDidChange(*this);
}

void Window::setNeedsDisplay()
{
    if (m_visible && !m_drawing)
        if (WindowHost* host = WindowHost::current())
            host->contentDidChange(*this);
}

void Window::setNeedsDisplayInRects(const std::vector<Rect>& areas)
{
    // While screen updates are off the window is drawn whole once they are back on.
    if (s_screenUpdatesDisabled > 0) {
        setNeedsDisplay();
        return;
    }
    if (!m_visible || m_drawing || areas.empty() || ViewAnimator::drawWithNextFrame(*this, areas))
        return;
    if (WindowHost* host = WindowHost::current())
        host->displayDidChange(*this, areas);
}

void Window::disableScreenUpdates()
{
    MainQueue::requireMainThread("Window::disableScreenUpdates");
    ++s_screenUpdatesDisabled;
}

void Window::enableScreenUpdates()
{
    MainQueue::requireMainThread("Window::enableScreenUpdates");
    if (s_screenUpdatesDisabled == 0 || --s_screenUpdatesDisabled > 0)
        return;
    for (const auto& undrawn : std::exchange(s_undrawn, {}))
        if (auto window = undrawn.lock())
            window->setNeedsDisplay();
}

void Window::draw(Painter& painter, const std::vector<Rect>& areas) const
{
    auto& self = const_cast<Window&>(*this);
    if (s_screenUpdatesDisabled > 0) {
        std::weak_ptr<Window> weak = self.weak_from_this();
        const bool noted = std::any_of(s_undrawn.begin(), s_undrawn.end(), [&](const std::weak_ptr<Window>& w) {
            return !w.owner_before(weak) && !weak.owner_before(w);
        });
        if (!noted)
            s_undrawn.push_back(std::move(weak));
        return;
    }
    self.m_drawing = true;
    if (areas.empty())
        drawBody(painter);
    // Areas apart from each other are drawn one cluster at a time: the views between them, which
    // the bounds of all the areas would take in, are not drawn.
    for (const std::vector<Rect>& cluster : clustersOf(areas)) {
        Path within;
        for (const Rect& area : cluster)
            within.addRect(area);
        painter.save();
        painter.clip(within);
        drawBody(painter);
        painter.restore();
    }
    self.m_drawing = false;
}

std::vector<std::vector<Rect>> Window::clustersOf(const std::vector<Rect>& areas)
{
    struct Cluster {
        Rect bounds;
        std::vector<Rect> areas;
    };
    std::vector<Cluster> clusters;
    for (const Rect& area : areas)
        if (!area.isEmpty())
            clusters.push_back({ area, { area } });
    // Areas that touch, or nearly, belong together (a region's bands are cut where its shape
    // changes).
    constexpr double near = 4;
    for (bool merged = true; merged;) {
        merged = false;
        for (size_t i = 0; i < clusters.size() && !merged; ++i)
            for (size_t j = i + 1; j < clusters.size() && !merged; ++j)
                if (clusters[i].bounds.insetBy(-near, -near).intersects(clusters[j].bounds)) {
                    clusters[i].bounds = clusters[i].bounds.united(clusters[j].bounds);
                    clusters[i].areas.insert(clusters[i].areas.end(), clusters[j].areas.begin(), clusters[j].areas.end());
                    clusters.erase(clusters.begin() + static_cast<std::ptrdiff_t>(j));
                    merged = true;
                }
    }
    std::vector<std::vector<Rect>> result;
    for (auto& cluster : clusters)
        result.push_back(std::move(cluster.areas));
    return result;
}

void Window::drawBody(Painter& painter) const
{
    const Rect whole(0, 0, m_frame.width(), m_frame.height());
    if (m_opaque)
        painter.fillRect(whole, m_backgroundColor.withAlpha(1));
    else if (!m_backgroundColor.isClear())
        painter.fillRect(whole, m_backgroundColor);
    const Rect content = contentRect();
    const Rect bar(0, content.height(), m_frame.width(), m_frame.height() - content.height());
    if (isTitled() && painter.mayShow(bar)) {
        painter.fillRect(bar, Color::rgb(0.94, 0.94, 0.94));
        painter.fillRect(Rect(0, bar.minY(), bar.width(), 1), Color::rgb(0.8, 0.8, 0.8));
        const Font font = Font::system(13, Font::Weight::bold);
        painter.drawText(m_title, bar.insetBy(70, (bar.height() - 16) / 2), font, Color::black(0.85), TextAlignment::center);
    }
    if (m_closeButton)
        m_closeButton->drawTree(painter);
    if (m_contentView)
        m_contentView->drawTree(painter);
}

View* Window::viewAt(Point locationInWindow) const
{
    if (m_ignoresMouseEvents)
        return nullptr;
    if (m_closeButton)
        if (View* hit = m_closeButton->hitTest(locationInWindow))
            return hit;
    return m_contentView ? m_contentView->hitTest(locationInWindow) : nullptr;
}

bool Window::isHeldOffByModal() const { return s_modalWindow && s_modalWindow != this && !m_worksWhenModal; }

void Window::sendEvent(const MouseEvent& event)
{
    MainQueue::requireMainThread("Window::sendEvent");
    auto keep = weak_from_this().lock();
    switch (event.type) {
    case MouseEvent::Type::leftMouseDown:
    case MouseEvent::Type::rightMouseDown: {
        trackPointer(event.locationInWindow);
        if (m_ignoresMouseEvents || isHeldOffByModal())
            return;
        View* hit = viewAt(event.locationInWindow);
        const bool firstMouse = !isKeyWindow();
        // The window that waits for an answer takes it at once, whichever window is key.
        bool accepted = !firstMouse || s_modalWindow == this;
        for (const View* v = hit; v && !accepted; v = v->superview())
            accepted = v->acceptsFirstMouse(event);
        // Its title bar and the room between its views too: the keys come back to an alert
        // clicked anywhere.
        if (firstMouse && canBecomeKey())
            becomeKey();
        if (!hit || !accepted)
            return;
        std::shared_ptr<View> target = hit->shared_from_this();
        m_mouseDownView = target;
        if (event.type == MouseEvent::Type::leftMouseDown)
            target->mouseDown(event);
        else
            target->rightMouseDown(event);
        return;
    }
    case MouseEvent::Type::leftMouseDragged:
        trackPointer(event.locationInWindow);
        if (auto target = m_mouseDownView.lock())
            target->mouseDragged(event);
        return;
    case MouseEvent::Type::leftMouseUp:
    case MouseEvent::Type::rightMouseUp: {
        auto target = m_mouseDownView.lock();
        m_mouseDownView.reset();
        if (target && target->window() == this) {
            if (event.type == MouseEvent::Type::leftMouseUp)
                target->mouseUp(event);
            else
                target->rightMouseUp(event);
        }
        trackPointer(event.locationInWindow);
        return;
    }
    case MouseEvent::Type::mouseMoved:
        trackPointer(event.locationInWindow);
        return;
    case MouseEvent::Type::mouseEntered:
    case MouseEvent::Type::mouseExited:
        return;
    }
}

void Window::trackPointer(std::optional<Point> location)
{
    if (!m_contentView)
        return;
    if (m_ignoresMouseEvents || !m_visible)
        location.reset();
    struct Entry {
        std::weak_ptr<View> view;
        std::shared_ptr<TrackingArea> area;
    };
    std::vector<Entry> entries;
    std::vector<View*> stack { m_contentView.get() };
    while (!stack.empty()) {
        View* v = stack.back();
        stack.pop_back();
        for (const auto& area : v->trackingAreas())
            entries.push_back({ v->weak_from_this(), area });
        for (auto it = v->subviews().rbegin(); it != v->subviews().rend(); ++it)
            stack.push_back(it->get());
    }
    std::optional<bool> appActive;
    for (const auto& entry : entries) {
        auto view = entry.view.lock();
        if (!view || view->window() != this)
            continue;
        const auto& areas = view->trackingAreas();
        if (std::find(areas.begin(), areas.end(), entry.area) == areas.end())
            continue;
        TrackingArea& area = *entry.area;
        const uint32_t options = area.options();
        bool active = (options & TrackingArea::activeAlways) != 0;
        if (!active && (options & (TrackingArea::activeInKeyWindow | TrackingArea::activeWhenFirstResponder)))
            active = isKeyWindow();
        if (!active && (options & TrackingArea::activeInActiveApp)) {
            if (!appActive)
                appActive = Application::shared().isActive();
            active = *appActive;
        }
        bool inside = false;
        Point local;
        if (location && active && !view->isHiddenOrHasHiddenAncestor()) {
            local = view->convertFromView(*location, nullptr);
            inside = view->effectiveRect(area).contains(local);
        }
        MouseEvent event;
        event.locationInWindow = location.value_or(Point {});
        event.trackingArea = &area;
        if (inside != area.m_inside) {
            area.m_inside = inside;
            if (options & TrackingArea::mouseEnteredAndExited) {
                event.type = inside ? MouseEvent::Type::mouseEntered : MouseEvent::Type::mouseExited;
                if (inside)
                    view->mouseEntered(event);
                else
                    view->mouseExited(event);
            }
        } else if (inside && (options & TrackingArea::mouseMoved)) {
            event.type = MouseEvent::Type::mouseMoved;
            view->mouseMoved(event);
        }
    }
}

Window* Window::mouseCapture() { return s_mouseCapture; }
void Window::setMouseCapture(Window* window) { s_mouseCapture = window; }

Window* Window::keyCapture() { return s_keyCapture; }
void Window::setKeyCapture(Window* window)
{
    if (window == s_keyCapture)
        return;
    s_keyCapture = window;
    if (WindowHost* host = WindowHost::current())
        host->keyCaptureDidChange(window);
}

Window* Window::modalWindow() { return s_modalWindow; }
void Window::setModalWindow(Window* window)
{
    s_modalWindow = window;
}

} // namespace lorvantine
