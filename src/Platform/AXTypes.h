#pragma once

#include "Platform/Geometry.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>
#include <vector>

namespace lorvantine {

using ProcessID = int32_t;

// An accessibility element: a value handle (process + node), never a pointer into a backend.
// The null element (pid 0, node 0) stands for "no element".
struct AXElement {
    ProcessID pid = 0;
    uint64_t node = 0;

    bool isNull() const { return pid == 0 && node == 0; }
    friend bool operator==(const AXElement&, const AXElement&) = default;
    friend auto operator<=>(const AXElement&, const AXElement&) = default;
};

// The platform's error codes, with their numeric values.
enum class AXError : int32_t {
    success = 0,
    failure = -25200,
    illegalArgument = -25201,
    invalidUIElement = -25202,
    invalidUIElementObserver = -25203,
    cannotComplete = -25204,
    attributeUnsupported = -25205,
    actionUnsupported = -25206,
    notificationUnsupported = -25207,
    notImplemented = -25208,
    notificationAlreadyRegistered = -25209,
    notificationNotRegistered = -25210,
    apiDisabled = -25211,
    noValue = -25212,
    parameterizedAttributeUnsupported = -25213,
    notEnoughPrecision = -25214,
};

// A range of UTF-16 code units.
struct AXRange {
    int64_t location = 0;
    int64_t length = 0;
    friend bool operator==(const AXRange&, const AXRange&) = default;
};

struct AXURL {
    std::string string;
    friend bool operator==(const AXURL&, const AXURL&) = default;
};

// A run of attributes over a UTF-16 range of an attributed string. Values are kept as text
// (font names, colours as "r g b a", link targets); that is all readers of attributed strings use.
struct AXAttributeRun {
    AXRange range;
    std::map<std::string, std::string> attributes;
    friend bool operator==(const AXAttributeRun&, const AXAttributeRun&) = default;
};

struct AXAttributedString {
    std::string string;
    std::vector<AXAttributeRun> runs;
    friend bool operator==(const AXAttributedString&, const AXAttributedString&) = default;
};

// Every kind of value an attribute can hold. `std::monostate` is a present but empty value.
using AXValue = std::variant<std::monostate, bool, int64_t, double, std::string, AXURL, Point, Size, Rect, AXRange,
                             AXElement, std::vector<AXElement>, std::vector<std::string>, AXAttributedString>;

// Typed access that never throws: nullptr when the value holds another type.
template<typename T> const T* axGet(const AXValue& value) { return std::get_if<T>(&value); }

// Attribute, parameterized attribute, action and notification names used across the program.
namespace AXName {
inline constexpr const char* role = "AXRole";
inline constexpr const char* subrole = "AXSubrole";
inline constexpr const char* title = "AXTitle";
inline constexpr const char* value = "AXValue";
inline constexpr const char* description = "AXDescription";
inline constexpr const char* children = "AXChildren";
inline constexpr const char* parent = "AXParent";
inline constexpr const char* windows = "AXWindows";
inline constexpr const char* focusedWindow = "AXFocusedWindow";
inline constexpr const char* mainWindow = "AXMainWindow";
inline constexpr const char* focusedUIElement = "AXFocusedUIElement";
inline constexpr const char* focusedApplication = "AXFocusedApplication";
inline constexpr const char* position = "AXPosition";
inline constexpr const char* size = "AXSize";
inline constexpr const char* frame = "AXFrame";
inline constexpr const char* minimized = "AXMinimized";
inline constexpr const char* numberOfCharacters = "AXNumberOfCharacters";
inline constexpr const char* visibleCharacterRange = "AXVisibleCharacterRange";
inline constexpr const char* selectedText = "AXSelectedText";
inline constexpr const char* selectedTextRange = "AXSelectedTextRange";
inline constexpr const char* menuBar = "AXMenuBar";
inline constexpr const char* menuItemCmdVirtualKey = "AXMenuItemCmdVirtualKey";
inline constexpr const char* menuItemCmdModifiers = "AXMenuItemCmdModifiers";
inline constexpr const char* url = "AXURL";
inline constexpr const char* document = "AXDocument";

inline constexpr const char* stringForRange = "AXStringForRange";
inline constexpr const char* boundsForRange = "AXBoundsForRange";
inline constexpr const char* attributedStringForRange = "AXAttributedStringForRange";
inline constexpr const char* lineForIndex = "AXLineForIndex";
inline constexpr const char* rangeForLine = "AXRangeForLine";
inline constexpr const char* rangeForPosition = "AXRangeForPosition";

inline constexpr const char* press = "AXPress";
inline constexpr const char* raise = "AXRaise";
inline constexpr const char* pick = "AXPick";
} // namespace AXName

} // namespace lorvantine

template<> struct std::hash<lorvantine::AXElement> {
    size_t operator()(const lorvantine::AXElement& e) const noexcept
    {
        return std::hash<uint64_t>()(e.node * 0x9E3779B97F4A7C15ull ^ static_cast<uint64_t>(e.pid));
    }
};
