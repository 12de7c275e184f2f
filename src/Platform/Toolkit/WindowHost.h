#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace lorvantine {

class Window;
struct Rect;

// The port through which the toolkit's windows exist on screen: the backend (the simulated
// desktop's SimWindowHost) lists them as windows of the program's own application, draws them
// at their level, sends them the mouse events that reach them and answers accessibility about
// their views. Without an installed host windows live only in memory (logic runs headless).
//
// Windows call the host on the main thread; the host calls windows back (Window::sendEvent,
// trackPointer, View::accessibilityPerformPress) on the main thread only, from the main queue.
class WindowHost {
public:
    virtual ~WindowHost() = default;

    // The window comes on screen, or is already there: it goes in front of the others of its
    // level. Answers its window number (the window's present one, when it has one).
    virtual uint32_t orderFront(Window& window) = 0;
    // Off screen (ordered out, closed or destroyed). Nothing for a window not on screen.
    virtual void orderOut(Window& window) = 0;
    // A property of a shown window changed: frame, level, alpha, title, mouse handling.
    virtual void windowDidChange(Window& window) = 0;
    // What a shown window shows changed: its views' drawing or accessibility.
    virtual void contentDidChange(Window& window) = 0;
    // Only the drawing of a shown window changed, within `areas` (window coordinates, origin at
    // the bottom left): nothing else need be drawn again, and accessibility is as it was.
    // Default: `contentDidChange`.
    virtual void displayDidChange(Window& window, const std::vector<Rect>& areas);
    // Whether the host draws the frames of running animations only when it makes a picture
    // (calling `ViewAnimator::drawFrame` first), instead of sixty times a second: a host whose
    // pictures are made on request has nothing to show between them. Default: no.
    virtual bool drawsFramesOnDemand() const { return false; }
    // The window that takes the keys typed (`Window::keyCapture`: an open menu) is now `window`
    // (null: none), even while another application is in front. Default: nothing.
    virtual void keyCaptureDidChange(Window* window);

    // The installed host; null when none.
    static WindowHost* current();
    // Installs `host` for the whole process and returns the previous one. Main thread.
    static std::shared_ptr<WindowHost> install(std::shared_ptr<WindowHost> host);
};

// Installs a host for its lifetime and puts the previous one back (tests).
class ScopedWindowHost {
public:
    explicit ScopedWindowHost(std::shared_ptr<WindowHost> host) : m_previous(WindowHost::install(std::move(host))) { }
    ~ScopedWindowHost() { WindowHost::install(std::move(m_previous)); }
    ScopedWindowHost(const ScopedWindowHost&) = delete;
    ScopedWindowHost& operator=(const ScopedWindowHost&) = delete;

private:
    std::shared_ptr<WindowHost> m_previous;
};

} // namespace lorvantine
