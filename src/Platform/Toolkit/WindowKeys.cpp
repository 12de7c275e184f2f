#include "Platform/Toolkit/Window.h"

#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/View.h"

#include <algorithm>

namespace lorvantine {

// The keys typed into a window: its first responder, the loop of views that take keys, and the
// keys the window itself answers (Command-W, Tab, the buttons' key equivalents).

View* Window::firstResponder() const
{
    auto responder = m_firstResponder.lock();
    return responder && responder->window() == this ? responder.get() : nullptr;
}

bool Window::makeFirstResponder(View* view)
{
    if (view && (view->window() != this || !view->acceptsFirstResponder()))
        return false;
    View* previous = firstResponder();
    if (previous == view)
        return true;
    m_firstResponder = view ? view->weak_from_this() : std::weak_ptr<View>();
    if (previous)
        previous->didResignFirstResponder();
    if (view)
        view->didBecomeFirstResponder();
    return true;
}

std::vector<View*> Window::keyViewLoop() const
{
    std::vector<View*> loop;
    if (!m_contentView)
        return loop;
    // Depth first, each view's subviews in the order they were added: the order of the window's
    // rows as they are built.
    std::vector<View*> stack { m_contentView.get() };
    while (!stack.empty()) {
        View* v = stack.back();
        stack.pop_back();
        if (v->isHidden())
            continue;
        if (v->acceptsFirstResponder())
            loop.push_back(v);
        for (auto it = v->subviews().rbegin(); it != v->subviews().rend(); ++it)
            stack.push_back(it->get());
    }
    return loop;
}

void Window::selectNextKeyView() { selectKeyView(1); }

void Window::selectPreviousKeyView() { selectKeyView(-1); }

void Window::selectKeyView(int step)
{
    const std::vector<View*> loop = keyViewLoop();
    if (loop.empty())
        return;
    View* current = firstResponder();
    const auto at = std::find(loop.begin(), loop.end(), current);
    View* next = nullptr;
    if (at == loop.end()) {
        next = step > 0 ? loop.front() : loop.back();
    } else {
        const auto count = static_cast<std::ptrdiff_t>(loop.size());
        const std::ptrdiff_t index = ((at - loop.begin()) + step + count) % count;
        next = loop[static_cast<size_t>(index)];
    }
    // The only view that takes keys takes them again: its editing ends as it would on leaving it
    // for another, and it starts anew.
    if (next == current)
        makeFirstResponder(nullptr);
    makeFirstResponder(next);
}

void Window::sendKeyEvent(const KeyEvent& event)
{
    MainQueue::requireMainThread("Window::sendKeyEvent");
    if (isHeldOffByModal())
        return;
    auto keep = weak_from_this().lock();
    if (event.type != KeyEvent::Type::keyDown)
        return;
    constexpr uint64_t shortcutFlags = EventFlags::maskCommand | EventFlags::maskControl | EventFlags::maskAlternate;
    const uint64_t shortcut = event.modifierFlags & shortcutFlags;
    if (event.keyCode == KeyEvent::keyW && shortcut == EventFlags::maskCommand) {
        performClose();
        return;
    }
    if (event.keyCode == KeyEvent::keyTab && shortcut == 0) {
        if (event.modifierFlags & EventFlags::maskShift)
            selectPreviousKeyView();
        else
            selectNextKeyView();
        return;
    }
    if (m_contentView && m_contentView->performKeyEquivalent(event))
        return;
    View* responder = firstResponder();
    if (!responder)
        return;
    auto keepResponder = responder->shared_from_this();
    responder->keyDown(event);
}

} // namespace lorvantine
