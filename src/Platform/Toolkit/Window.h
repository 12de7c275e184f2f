#pragma once

#include "Platform/Toolkit/Appearance.h"
#include "Platform/Toolkit/Color.h"
#include "Platform/Geometry.h"
#include "Platform/Toolkit/KeyEvent.h"
#include "Platform/Toolkit/MouseEvent.h"
#include "Platform/WindowServerPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

class Button;
class Painter;
class View;

// Style mask bits, with the platform's values.
namespace WindowStyle {
inline constexpr uint32_t borderless = 0;
inline constexpr uint32_t titled = 1 << 0;
inline constexpr uint32_t closable = 1 << 1;
inline constexpr uint32_t miniaturizable = 1 << 2;
inline constexpr uint32_t resizable = 1 << 3;
inline constexpr uint32_t utilityWindow = 1 << 4;
inline constexpr uint32_t nonactivatingPanel = 1 << 7;
inline constexpr uint32_t fullSizeContentView = 1 << 15;
} // namespace WindowStyle

// Window levels, with the platform's values (they are also the window list's layer).
namespace WindowLevel {
inline constexpr int32_t normal = 0;
inline constexpr int32_t floating = 3;
inline constexpr int32_t modalPanel = 8;
inline constexpr int32_t mainMenu = 24;
inline constexpr int32_t statusBar = 25;
inline constexpr int32_t popUpMenu = 101;
inline constexpr int32_t screenSaver = 1000;
} // namespace WindowLevel

// Collection behaviour bits, with the platform's values (kept; spaces are not simulated).
namespace CollectionBehavior {
inline constexpr uint32_t managed = 1 << 2;
inline constexpr uint32_t canJoinAllSpaces = 1 << 0;
inline constexpr uint32_t moveToActiveSpace = 1 << 1;
inline constexpr uint32_t transient = 1 << 3;
inline constexpr uint32_t stationary = 1 << 4;
inline constexpr uint32_t participatesInCycle = 1 << 5;
inline constexpr uint32_t ignoresCycle = 1 << 6;
inline constexpr uint32_t fullScreenPrimary = 1 << 7;
inline constexpr uint32_t fullScreenAuxiliary = 1 << 8;
} // namespace CollectionBehavior

// A window of the program: the stand-in for the platform's window. Its frame is in global
// bottom-left coordinates (see Screen); its content view fills it below the title bar (28
// points, titled windows only), which holds the close button of a closable window. On screen it is one window of the program's own application in
// the desktop (`WindowHost`): listed, drawn at its level, hit by the mouse unless it ignores
// mouse events, and visible to accessibility.
//
// Ownership: whoever creates a window holds it (std::make_shared); a window that is released
// leaves the screen. Main thread only (asserted).
class Window : public std::enable_shared_from_this<Window> {
public:
    static constexpr double titleBarHeight = 28;

    Window(const Rect& contentRect, uint32_t styleMask);
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    uint32_t styleMask() const { return m_styleMask; }
    bool isTitled() const { return (m_styleMask & WindowStyle::titled) != 0; }
    bool isClosable() const { return (m_styleMask & WindowStyle::closable) != 0; }

    // --- Geometry (global, bottom-left) ---
    const Rect& frame() const { return m_frame; }
    void setFrame(const Rect& frame);
    void setFrameOrigin(Point origin);
    // The content area, global.
    Rect contentRect() const;
    void setContentSize(Size size);
    // Centres the window on the main screen, a little above the middle.
    void center();
    // The screen with the largest part of the window, else the main screen.
    std::optional<ScreenInfo> screen() const;

    // --- Properties ---
    const std::string& title() const { return m_title; }
    void setTitle(std::string title);
    int32_t level() const { return m_level; }
    void setLevel(int32_t level);
    uint32_t collectionBehavior() const { return m_collectionBehavior; }
    void setCollectionBehavior(uint32_t behavior) { m_collectionBehavior = behavior; }
    bool isOpaque() const { return m_opaque; }
    void setOpaque(bool opaque);
    const Color& backgroundColor() const { return m_backgroundColor; }
    void setBackgroundColor(const Color& color);
    double alphaValue() const { return m_alpha; }
    // Inside `AnimationContext::run` with a duration, the alpha moves to the new value over that
    // duration on the installed clock (reading it gives the value shown now); elsewhere it is set
    // at once, stopping such a fade.
    void setAlphaValue(double alpha);
    // Click-through: the mouse reaches whatever lies below.
    bool ignoresMouseEvents() const { return m_ignoresMouseEvents; }
    void setIgnoresMouseEvents(bool ignores);
    bool hasShadow() const { return m_hasShadow; }
    void setHasShadow(bool hasShadow) { m_hasShadow = hasShadow; }
    bool isMovableByWindowBackground() const { return m_movableByBackground; }
    void setMovableByWindowBackground(bool movable) { m_movableByBackground = movable; }
    // Kept; the program's application is rarely active, so nothing hides on deactivation.
    bool hidesOnDeactivate() const { return m_hidesOnDeactivate; }
    void setHidesOnDeactivate(bool hides) { m_hidesOnDeactivate = hides; }
    const std::optional<Appearance>& appearance() const { return m_appearance; }
    void setAppearance(std::optional<Appearance> appearance);
    Appearance effectiveAppearance() const { return m_appearance.value_or(Appearance::aqua); }
    // Titled windows can; borderless ones cannot.
    virtual bool canBecomeKey() const;
    virtual bool canBecomeMain() const;

    // --- Content ---
    const std::shared_ptr<View>& contentView() const { return m_contentView; }
    // The view is sized to the content area.
    void setContentView(std::shared_ptr<View> view);

    // --- Ordering ---
    // Puts the window in front of the others of its level, without activating the program.
    void orderFront();
    void orderFrontRegardless();
    // Also makes it the key window when it can become key.
    void makeKeyAndOrderFront();
    // Makes a window that can become key the key window (the keys typed go to it).
    void makeKeyWindow();
    // Off screen. When the program is a menu-bar application (activation policy not regular) in
    // front and this was its last titled window on screen (the preferences closed, an alert
    // answered), the front goes back to the application whose window is next, as the platform
    // gives it: the keys return to where the person was typing.
    void orderOut();
    // Orders out and calls `onWillClose` (once).
    void close();
    // As a click on the close button: closes a titled, closable window on screen; nothing for others.
    void performClose();
    // A window shown for this one (a pop-up button's open menu): it closes (`close`) when this one
    // leaves the screen. Held weakly.
    void addChildWindow(Window& child);
    bool isVisible() const { return m_visible; }
    // Runs `action` now when the window is on screen, else the next time it comes on screen
    // (never, if it is released first). While it is off screen its views' animations stand still.
    void performWhenVisible(std::function<void()> action);
    bool isKeyWindow() const;
    static Window* keyWindow();
    // The title bar's close button of a titled, closable window; null for others.
    View* closeButton() const;
    // The window server's number, given when first shown (0 before); kept while ordered out.
    uint32_t windowNumber() const { return m_windowNumber; }
    std::function<void()> onWillClose;

    // --- Coordinates (window: origin at the frame's bottom-left corner) ---
    Point convertPointToScreen(Point point) const;
    Point convertPointFromScreen(Point point) const;
    Rect convertRectToScreen(const Rect& rect) const;
    Rect convertRectFromScreen(const Rect& rect) const;

    // --- For the window host ---
    // Draws the window (background, title bar, views as they show now) in window coordinates;
    // only within `areas` when given, where what lies wholly outside them is not drawn.
    void draw(Painter& painter, const std::vector<Rect>& areas = {}) const;
    // Tells the host that what the window shows changed, accessibility included (views call it).
    void setNeedsDisplay();
    // Tells the host that only the drawing within `areas` (window coordinates) changed.
    void setNeedsDisplayInRects(const std::vector<Rect>& areas);
    // A mouse event for this window; down events go to the view hit (a press anywhere in a window
    // that can become key makes it key, its title bar too), up and dragged ones to the view that
    // got the down.
    virtual void sendEvent(const MouseEvent& event);
    // The pointer is at `locationInWindow`, or not over this window (none): tracking areas
    // report entering, leaving and moving.
    void trackPointer(std::optional<Point> locationInWindow);
    // The view a click at `locationInWindow` reaches (null: none, or the window ignores the mouse).
    View* viewAt(Point locationInWindow) const;
    // While set, the host sends every mouse event to this window (an open menu).
    static Window* mouseCapture();
    static void setMouseCapture(Window* window);
    // While set, the keys typed go to this window whichever application is in front, as an open
    // menu (or the menu bar's popover) takes them on the platform: the program's other windows and
    // its local monitors do not see them. Cleared when the window leaves the screen.
    static Window* keyCapture();
    static void setKeyCapture(Window* window);

    // --- Keys ---
    // The view that takes the keys typed into the window; null: none. A window that becomes key
    // without one gives the role to its first view that accepts it.
    View* firstResponder() const;
    // False (and nothing changes) when `view` is not in this window or does not take keys; null
    // takes the role from whichever view had it.
    bool makeFirstResponder(View* view);
    // The views that take keys, in the order Tab walks them (the order the window's views were
    // put in it); hidden ones are left out.
    std::vector<View*> keyViewLoop() const;
    // Tab and Shift-Tab: the keys go to the next (previous) view of the loop, from the last back to
    // the first. The view left behind ends its editing, even when it is the only one.
    void selectNextKeyView();
    void selectPreviousKeyView();
    // A key event for the key window: Command-W closes a closable window, Tab and Shift-Tab walk
    // the key view loop, a button whose key equivalent it is (Return, Escape) is pressed, and
    // other keys go to the first responder.
    virtual void sendKeyEvent(const KeyEvent& event);

    // --- Modal sessions ---
    // While a modal window is up (an alert waiting for its answer), the program's other windows
    // take no clicks and no keys, except those that work when modal (the menu bar's items and
    // their popovers, so that the program can still be quit from there). A click on the modal
    // window itself acts at once, key or not.
    static Window* modalWindow();
    static void setModalWindow(Window* window);
    bool worksWhenModal() const { return m_worksWhenModal; }
    void setWorksWhenModal(bool works) { m_worksWhenModal = works; }

    // --- Screen updates ---
    // While disabled (the calls nest), windows come on screen, change and answer accessibility
    // as usual but draw nothing; enabling them draws each window left undrawn that is still on
    // screen, once, as it is then.
    static void disableScreenUpdates();
    static void enableScreenUpdates();

private:
    friend class View;
    void windowPropertyChanged();
    void drawBody(Painter& painter) const;
    // `areas` gathered into groups that lie apart from each other.
    static std::vector<std::vector<Rect>> clustersOf(const std::vector<Rect>& areas);
    void stepAlphaFade();
    void endAlphaFade();
    void becomeKey();
    void selectKeyView(int step);
    void layoutContentView();
    bool isHeldOffByModal() const;

    uint32_t m_styleMask;
    Rect m_frame;
    std::string m_title;
    int32_t m_level = WindowLevel::normal;
    uint32_t m_collectionBehavior = 0;
    bool m_opaque = true;
    Color m_backgroundColor = Color::rgb(0.925, 0.925, 0.925);
    double m_alpha = 1;
    bool m_ignoresMouseEvents = false;
    bool m_hasShadow = true;
    bool m_movableByBackground = false;
    bool m_hidesOnDeactivate = false;
    std::optional<Appearance> m_appearance;
    std::shared_ptr<View> m_contentView;
    bool m_visible = false;
    bool m_closed = false;
    bool m_drawing = false;
    uint32_t m_windowNumber = 0;
    struct AlphaFade;
    std::shared_ptr<AlphaFade> m_alphaFade;
    std::weak_ptr<View> m_mouseDownView;
    std::vector<std::function<void()>> m_whenVisible;
    std::weak_ptr<View> m_firstResponder;
    std::vector<std::weak_ptr<Window>> m_childWindows;
    std::shared_ptr<Button> m_closeButton;
    bool m_worksWhenModal = false;
};

} // namespace lorvantine
