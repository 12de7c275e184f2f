#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// One entry of the window list. Every key may be missing, as in the platform's dictionaries;
// the fields carry the platform's key names. Bounds are global, top-left origin, in points.
struct WindowInfo {
    std::optional<uint32_t> kCGWindowNumber;
    std::optional<ProcessID> kCGWindowOwnerPID;
    std::optional<std::string> kCGWindowOwnerName;
    std::optional<std::string> kCGWindowName;
    std::optional<Rect> kCGWindowBounds;
    std::optional<int32_t> kCGWindowLayer;
    std::optional<bool> kCGWindowIsOnscreen;
    std::optional<double> kCGWindowAlpha;
    friend bool operator==(const WindowInfo&, const WindowInfo&) = default;
};

// Option bits of the window list request, with the platform's values.
namespace WindowListOption {
inline constexpr uint32_t optionAll = 0;
inline constexpr uint32_t onScreenOnly = 1 << 0;
inline constexpr uint32_t excludeDesktopElements = 1 << 4;
} // namespace WindowListOption

// A display. `frame` and `visibleFrame` use the toolkit's coordinates: origin at the bottom left
// of the primary screen, y upward (the visible frame leaves out the menu bar and the Dock).
struct ScreenInfo {
    Rect frame;
    Rect visibleFrame;
    double backingScaleFactor = 1;
    friend bool operator==(const ScreenInfo&, const ScreenInfo&) = default;
};

// Modifier flag masks, in the platform's bit layout.
namespace EventFlags {
inline constexpr uint64_t maskShift = 0x20000;
inline constexpr uint64_t maskControl = 0x40000;
inline constexpr uint64_t maskAlternate = 0x80000;
inline constexpr uint64_t maskCommand = 0x100000;
} // namespace EventFlags

enum class EventSourceState { combinedSession, privateState };
enum class EventTap { hid, session };
enum class ScrollUnit { line, pixel };
enum class MouseButton { left, right };

enum class InputEventType {
    keyDown,
    keyUp,
    mouseMoved,
    leftMouseDown,
    leftMouseDragged,
    leftMouseUp,
    rightMouseDown,
    rightMouseDragged,
    rightMouseUp,
    scrollWheel,
};

// A synthetic event, built like the platform's: create with a factory, then set flags, click
// count or location before posting. `location` is global, top-left origin. An event created
// without a source has no `source`.
struct InputEvent {
    InputEventType type = InputEventType::mouseMoved;
    std::optional<EventSourceState> source;
    uint16_t keyCode = 0;
    uint64_t flags = 0;
    Point location;
    int64_t clickCount = 0;
    ScrollUnit scrollUnit = ScrollUnit::line;
    int32_t scrollDeltaY = 0;
    int32_t scrollDeltaX = 0;
    // A key's text (UTF-8), as a keyboard layout or a typing tool gives it; empty for keys that
    // type nothing.
    std::string characters;

    static InputEvent keyboard(std::optional<EventSourceState> source, uint16_t keyCode, bool keyDown);
    // `type` must be one of the mouse types; the click count starts at 1 for down and up events.
    static InputEvent mouse(std::optional<EventSourceState> source, InputEventType type, Point location,
                            MouseButton button = MouseButton::left);
    // Positive dy scrolls the content down (towards its top), as the platform's wheel does.
    static InputEvent scrollWheel(std::optional<EventSourceState> source, ScrollUnit unit, int32_t dy, int32_t dx = 0);

    bool isKeyboard() const { return type == InputEventType::keyDown || type == InputEventType::keyUp; }
    friend bool operator==(const InputEvent&, const InputEvent&) = default;
};

// The window server: window list, screens and synthetic input. Safe to call from any thread.
class WindowServerPort {
public:
    virtual ~WindowServerPort() = default;

    // `options` is a set of `WindowListOption` bits. Front to back. None when the list cannot be had.
    virtual std::optional<std::vector<WindowInfo>> copyWindowInfo(uint32_t options) = 0;

    // The first screen is the primary one (it holds the menu bar and the coordinate origin).
    virtual std::vector<ScreenInfo> screens() = 0;
    // The screen holding the key window, else the primary one; none without screens.
    virtual std::optional<ScreenInfo> mainScreen() = 0;

    virtual void post(EventTap tap, const InputEvent& event) = 0;
    virtual void postToPid(ProcessID pid, const InputEvent& event) = 0;

    enum class Origin { topLeft, appKit };
    // Where the pointer is: `topLeft` as events report it, `appKit` as the toolkit's mouse location.
    virtual Point mouseLocation(Origin origin) = 0;
};

inline InputEvent InputEvent::keyboard(std::optional<EventSourceState> source, uint16_t keyCode, bool keyDown)
{
    InputEvent e;
    e.type = keyDown ? InputEventType::keyDown : InputEventType::keyUp;
    e.source = source;
    e.keyCode = keyCode;
    return e;
}

inline InputEvent InputEvent::mouse(std::optional<EventSourceState> source, InputEventType type, Point location,
                                    MouseButton button)
{
    InputEvent e;
    e.type = type;
    if (button == MouseButton::right) {
        if (type == InputEventType::leftMouseDown)
            e.type = InputEventType::rightMouseDown;
        else if (type == InputEventType::leftMouseUp)
            e.type = InputEventType::rightMouseUp;
        else if (type == InputEventType::leftMouseDragged)
            e.type = InputEventType::rightMouseDragged;
    }
    e.source = source;
    e.location = location;
    bool isClick = e.type != InputEventType::mouseMoved && e.type != InputEventType::leftMouseDragged
        && e.type != InputEventType::rightMouseDragged;
    e.clickCount = isClick ? 1 : 0;
    return e;
}

inline InputEvent InputEvent::scrollWheel(std::optional<EventSourceState> source, ScrollUnit unit, int32_t dy, int32_t dx)
{
    InputEvent e;
    e.type = InputEventType::scrollWheel;
    e.source = source;
    e.scrollUnit = unit;
    e.scrollDeltaY = dy;
    e.scrollDeltaX = dx;
    return e;
}

} // namespace lorvantine
