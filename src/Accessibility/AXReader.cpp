#include "Accessibility/AXReader.h"

#include "Platform/AccessibilityPort.h"
#include "Platform/Services.h"
#include "Support/Text.h"

#include <cmath>
#include <limits>
#include <unordered_set>

namespace lorvantine::AXReader {

namespace {

constexpr int ancestorSearchLimit = 30;
constexpr int menuSearchMaxDepth = 8;

std::optional<AXValue> copyValue(const AXElement& element, const std::string& name)
{
    AXValue value;
    if (Platform::accessibility().copyAttributeValue(element, name, value) != AXError::success)
        return std::nullopt;
    return value;
}

std::optional<AXValue> copyParameterizedValue(const AXElement& element, const std::string& name, const AXValue& parameter)
{
    AXValue value;
    if (Platform::accessibility().copyParameterizedAttributeValue(element, name, parameter, value) != AXError::success)
        return std::nullopt;
    return value;
}

template<typename T> std::optional<T> copyTyped(const AXElement& element, const std::string& name)
{
    auto value = copyValue(element, name);
    if (!value)
        return std::nullopt;
    if (const T* typed = axGet<T>(*value))
        return *typed;
    return std::nullopt;
}

// A number as the platform hands it over: an integer, or a floating value that holds one exactly.
std::optional<int64_t> integerValue(const AXValue& value)
{
    if (const int64_t* integer = axGet<int64_t>(value))
        return *integer;
    if (const double* real = axGet<double>(value)) {
        // The bounds keep the cast below defined.
        if (std::isfinite(*real) && std::trunc(*real) == *real && *real >= -9.2e18 && *real <= 9.2e18)
            return static_cast<int64_t>(*real);
    }
    return std::nullopt;
}

std::optional<int> intValue(const AXValue& value)
{
    auto integer = integerValue(value);
    if (!integer || *integer < std::numeric_limits<int>::min() || *integer > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(*integer);
}

bool isFinite(const Rect& r)
{
    return std::isfinite(r.origin.x) && std::isfinite(r.origin.y) && std::isfinite(r.size.width) && std::isfinite(r.size.height);
}

} // namespace

std::vector<AXElement> elementList(const AXElement& element, const std::string& name)
{
    return copyTyped<std::vector<AXElement>>(element, name).value_or(std::vector<AXElement>{});
}

std::optional<AXElement> elementAttribute(const AXElement& element, const std::string& name)
{
    auto found = copyTyped<AXElement>(element, name);
    if (!found || found->isNull())
        return std::nullopt;
    return found;
}

std::optional<double> number(const AXElement& element, const std::string& name)
{
    auto value = copyValue(element, name);
    if (!value)
        return std::nullopt;
    if (const double* d = axGet<double>(*value); d && std::isfinite(*d))
        return *d;
    if (const int64_t* i = axGet<int64_t>(*value))
        return static_cast<double>(*i);
    return std::nullopt;
}

std::optional<std::string> attribute(const AXElement& element, const std::string& name)
{
    return copyTyped<std::string>(element, name);
}

std::vector<AXElement> windows(const AXElement& application) { return elementList(application, AXName::windows); }

std::vector<AXElement> rawChildren(const AXElement& element) { return elementList(element, AXName::children); }

std::optional<AXElement> focusedWindow(const AXElement& application)
{
    return elementAttribute(application, AXName::focusedWindow);
}

std::optional<AXElement> frontWindow(const AXElement& application)
{
    if (auto focused = focusedWindow(application))
        return focused;
    const auto all = windows(application);
    if (all.empty())
        return std::nullopt;
    return all.front();
}

std::optional<Point> position(const AXElement& element)
{
    auto point = copyTyped<Point>(element, AXName::position);
    if (!point || !std::isfinite(point->x) || !std::isfinite(point->y))
        return std::nullopt;
    return point;
}

std::optional<Size> size(const AXElement& element)
{
    auto size = copyTyped<Size>(element, AXName::size);
    if (!size || !std::isfinite(size->width) || !std::isfinite(size->height))
        return std::nullopt;
    return size;
}

std::optional<Rect> rect(const AXElement& element)
{
    auto position = AXReader::position(element);
    auto size = AXReader::size(element);
    if (!position || !size)
        return std::nullopt;
    return Rect(*position, *size);
}

std::optional<int> numberOfCharacters(const AXElement& element)
{
    auto value = copyValue(element, AXName::numberOfCharacters);
    if (!value)
        return std::nullopt;
    return intValue(*value);
}

std::optional<std::string> stringForRange(const AXElement& element, int location, int length)
{
    auto value = copyParameterizedValue(element, AXName::stringForRange, AXRange{location, length});
    if (!value)
        return std::nullopt;
    if (const std::string* text = axGet<std::string>(*value))
        return *text;
    return std::nullopt;
}

std::optional<Rect> boundsForRange(const AXElement& element, int location, int length)
{
    auto value = copyParameterizedValue(element, AXName::boundsForRange, AXRange{location, length});
    if (!value)
        return std::nullopt;
    const Rect* rect = axGet<Rect>(*value);
    if (!rect || !isFinite(*rect) || (rect->width() < 1 && rect->height() < 1))
        return std::nullopt;
    return *rect;
}

std::vector<std::string> parameterizedAttributeNames(const AXElement& element)
{
    std::vector<std::string> names;
    if (Platform::accessibility().copyParameterizedAttributeNames(element, names) != AXError::success)
        return {};
    return names;
}

std::optional<AXElement> findAncestor(const AXElement& element, const std::string& role)
{
    AXElement current = element;
    for (int examined = 1;; ++examined) {
        if (attribute(current, AXName::role) == role)
            return current;
        if (examined == ancestorSearchLimit)
            return std::nullopt;
        auto parent = elementAttribute(current, AXName::parent);
        if (!parent)
            return std::nullopt;
        current = *parent;
    }
}

std::optional<RunningApplication> findApp(const std::string& bundleID)
{
    for (auto& application : Platform::workspace().runningApplications()) {
        if (application.bundleIdentifier && *application.bundleIdentifier == bundleID)
            return application;
    }
    return std::nullopt;
}

std::optional<AXElement> frontWindowOf(const std::string& bundleID)
{
    const auto app = findApp(bundleID);
    if (!app)
        return std::nullopt;
    return frontWindow(AXElement { app->pid, 0 });
}

namespace {

// Broken pages list an element among its own children or under several parents; each element is
// captured once, or a loop would be walked once per path.
AXNode walkTreeOnce(const AXElement& element, int maxDepth, int currentDepth, std::unordered_set<AXElement>& seen)
{
    AXNode node;
    node.role = attribute(element, AXName::role).value_or("unknown");
    node.title = attribute(element, AXName::title);
    node.value = attribute(element, AXName::value);
    node.description = attribute(element, AXName::description);
    node.depth = currentDepth;
    if (currentDepth >= maxDepth)
        return node;
    for (const auto& child : rawChildren(element)) {
        if (seen.insert(child).second)
            node.children.push_back(walkTreeOnce(child, maxDepth, currentDepth + 1, seen));
    }
    return node;
}

} // namespace

AXNode walkTree(const AXElement& element, int maxDepth, int currentDepth)
{
    std::unordered_set<AXElement> seen { element };
    return walkTreeOnce(element, maxDepth, currentDepth, seen);
}

void printTree(const AXNode& node, int indent, std::ostream& out)
{
    std::string line;
    for (int i = 0; i < indent; ++i)
        line += "  ";
    line += "[" + node.role + "]";
    if (node.title)
        line += " title=\"" + Text::characterPrefix(*node.title, 60) + "\"";
    if (node.value)
        line += " value=\"" + Text::characterPrefix(*node.value, 80) + "\"";
    if (node.description)
        line += " desc=\"" + Text::characterPrefix(*node.description, 60) + "\"";
    line += '\n';
    out << line;
    for (const auto& child : node.children)
        printTree(child, indent + 1, out);
}

std::optional<MenuShortcutMatch> searchMenuShortcut(const AXElement& element, int virtualKey,
                                                    std::optional<int> modifiers,
                                                    const std::vector<std::string>& path, int depth)
{
    if (depth > menuSearchMaxDepth)
        return std::nullopt;

    auto key = copyValue(element, AXName::menuItemCmdVirtualKey);
    if (key && integerValue(*key) == int64_t{virtualKey}) {
        int64_t itemModifiers = 0;
        if (auto value = copyValue(element, AXName::menuItemCmdModifiers))
            itemModifiers = integerValue(*value).value_or(0);
        if (!modifiers || int64_t{*modifiers} == itemModifiers) {
            auto matchPath = path;
            matchPath.push_back(attribute(element, AXName::title).value_or("?"));
            return MenuShortcutMatch{element, std::move(matchPath)};
        }
    }

    auto childPath = path;
    if (depth != 0) {
        auto title = attribute(element, AXName::title);
        if (title && !title->empty())
            childPath.push_back(*title);
    }
    for (const auto& child : rawChildren(element)) {
        if (auto match = searchMenuShortcut(child, virtualKey, modifiers, childPath, depth + 1))
            return match;
    }
    return std::nullopt;
}

} // namespace lorvantine::AXReader
