#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Image.h"
#include "Platform/Toolkit/WindowHost.h"
#include "Platform/WindowServerPort.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class SimDesktop;
class View;
class Window;

// The toolkit's windows in the simulated desktop. The program is one application of the desktop
// (this process's id, bundle identifier "com.lorvantine.desktop"); each window on screen is one
// of its windows in the model, so it is listed by the window server, found by accessibility
// (an "AXWindow" whose children mirror the views that are accessibility elements, positions in
// top-left global points) and hit by the mouse unless it ignores mouse events. Its pixels come
// from the toolkit's own drawing, composited by the renderer at the window's level through
// external layers.
//
// Mouse events posted through the window server, keys posted while the program is in front (or
// while a menu of it is open) and "AXPress" performed on a mirrored element reach the windows on
// the main queue (SimToolkitRouter).
//
// Nothing looks at the screen between two pictures of it, so animations are drawn when a picture
// is made (of the screen, or of one window) rather than sixty times a second: the picture shows
// them as they stand at that moment, and an animation costs nothing while nobody looks.
//
// Main thread only, except where noted.
class SimWindowHost final : public WindowHost, public std::enable_shared_from_this<SimWindowHost> {
public:
    // Registers the program's application in `desktop` (once per desktop and process).
    static std::shared_ptr<SimWindowHost> create(std::shared_ptr<SimDesktop> desktop);
    // `create`, then installs it as the window host and the Pango text measurer (the program's
    // start-up). Returns the host.
    static std::shared_ptr<SimWindowHost> install(std::shared_ptr<SimDesktop> desktop);
    ~SimWindowHost() override;

    ProcessID pid() const { return m_pid; }
    const std::shared_ptr<SimDesktop>& desktop() const { return m_desktop; }

    uint32_t orderFront(Window& window) override;
    void orderOut(Window& window) override;
    void windowDidChange(Window& window) override;
    void contentDidChange(Window& window) override;
    void displayDidChange(Window& window, const std::vector<Rect>& areas) override;
    bool drawsFramesOnDemand() const override { return true; }
    // The desktop's open menu (SimModel::openMenu) is the window that takes the keys while it is
    // on screen.
    void keyCaptureDidChange(Window* window) override;

    // The program's window on screen with that number; null when none.
    Window* window(uint32_t number) const;
    // The element of a window on screen, or of a view mirrored in it; the null element otherwise.
    AXElement element(const Window& window) const;
    AXElement element(const View& view) const;
    // The view an element mirrors; null when none (any more).
    View* view(const AXElement& element) const;

    // One window of the program as drawn now, alone, at `scale` pixels per point (for tests and
    // diagnostics). None when it is not on screen.
    std::optional<Image> renderWindow(const Window& window, double scale = 1) const;
    // What the window draws, without its alpha (whoever composites it applies that): the
    // smallest area of whole points holding every drawn pixel (from the window's top-left
    // corner) and its picture; an empty area when the window draws nothing.
    struct DrawnContent {
        Image image;
        Rect area;
    };
    std::optional<DrawnContent> drawnContent(const Window& window, double scale = 1) const;
    // Whether a click on the window brings the program to the front (not a non-activating panel).
    static bool activatesOnClick(const Window& window);

    // --- For SimToolkitRouter (main thread) ---
    // A mouse event posted on the desktop; `windowNumber` is the program's window it goes to, if
    // any: the one under the pointer, or for drags and releases the one that took the press.
    void deliverMouse(std::optional<uint32_t> windowNumber, const InputEvent& event);
    // A key for the program: it goes to the window that takes the keys (an open menu), else to
    // its key window, if one is on screen.
    void deliverKey(const InputEvent& event);
    void deliverAction(const AXElement& element, const std::string& action);
    // "AXValue" was set on the element.
    void deliverSetValue(const AXElement& element, const AXValue& value);

private:
    struct Shown;
    struct MirrorEntry;

    SimWindowHost(std::shared_ptr<SimDesktop> desktop, ProcessID pid);
    Shown* shown(const Window& window);
    const Shown* shown(const Window& window) const;
    // The whole window, or only `areas` (window coordinates, origin bottom left) over the
    // picture it had.
    void redraw(Shown& shown, const std::vector<Rect>& areas = {});
    void syncModel(Shown& shown, bool toFront);
    void syncAccessibility(Shown& shown);
    void publishLayers();
    std::optional<Image> render(const Shown& shown, const Rect& area, double scale, double alpha) const;
    double primaryHeight() const;

    std::shared_ptr<SimDesktop> m_desktop;
    ProcessID m_pid = 0;
    std::unique_ptr<class SimWindowPictures> m_pictures;
    std::vector<std::unique_ptr<Shown>> m_shown; // back to front
    std::shared_ptr<class SimToolkitRouter> m_router;
};

} // namespace lorvantine
