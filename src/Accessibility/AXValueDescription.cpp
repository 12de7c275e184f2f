#include "Accessibility/AXValueDescription.h"

#include "Support/Format.h"

#include <type_traits>

namespace lorvantine::AXValueDescription {

namespace {

std::string number(double value) { return Format::doubleDescription(value); }

template<typename T, typename Describe>
std::string listDescription(const std::vector<T>& items, Describe describeItem)
{
    std::string text = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0)
            text += ", ";
        text += describeItem(items[i]);
    }
    return text + "]";
}

std::string describeAttributed(const AXAttributedString& attributed)
{
    std::string text = "\"" + attributed.string + "\"";
    for (const AXAttributeRun& run : attributed.runs) {
        text += " " + describe(run.range) + " {";
        bool first = true;
        for (const auto& [name, value] : run.attributes) {
            text += (first ? "" : "; ") + name + "=" + value;
            first = false;
        }
        text += "}";
    }
    return text;
}

} // namespace

std::string describe(const Point& point) { return "(" + number(point.x) + ", " + number(point.y) + ")"; }

std::string describe(const Size& size) { return "(" + number(size.width) + ", " + number(size.height) + ")"; }

std::string describe(const Rect& rect)
{
    return "(" + number(rect.origin.x) + ", " + number(rect.origin.y) + ", " + number(rect.size.width) + ", "
        + number(rect.size.height) + ")";
}

std::string describe(const AXRange& range)
{
    return "{" + std::to_string(range.location) + ", " + std::to_string(range.length) + "}";
}

std::string describe(const AXElement& element)
{
    return "<AXUIElement pid=" + std::to_string(element.pid) + " node=" + std::to_string(element.node) + ">";
}

std::string describe(const AXValue& value)
{
    return std::visit(
        [](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return "<null>";
            else if constexpr (std::is_same_v<T, bool>)
                return v ? "true" : "false";
            else if constexpr (std::is_same_v<T, int64_t>)
                return std::to_string(v);
            else if constexpr (std::is_same_v<T, double>)
                return number(v);
            else if constexpr (std::is_same_v<T, std::string>)
                return v;
            else if constexpr (std::is_same_v<T, AXURL>)
                return v.string;
            else if constexpr (std::is_same_v<T, std::vector<AXElement>>)
                return listDescription(v, [](const AXElement& e) { return describe(e); });
            else if constexpr (std::is_same_v<T, std::vector<std::string>>)
                return listDescription(v, [](const std::string& s) { return "\"" + s + "\""; });
            else if constexpr (std::is_same_v<T, AXAttributedString>)
                return describeAttributed(v);
            else
                return describe(v);
        },
        value);
}

std::optional<std::string> errorName(AXError error)
{
    switch (error) {
    case AXError::success: return "success";
    case AXError::failure: return "failure";
    case AXError::illegalArgument: return "illegalArgument";
    case AXError::invalidUIElement: return "invalidUIElement";
    case AXError::invalidUIElementObserver: return "invalidUIElementObserver";
    case AXError::cannotComplete: return "cannotComplete";
    case AXError::attributeUnsupported: return "attributeUnsupported";
    case AXError::actionUnsupported: return "actionUnsupported";
    case AXError::notificationUnsupported: return "notificationUnsupported";
    case AXError::notImplemented: return "notImplemented";
    case AXError::notificationAlreadyRegistered: return "notificationAlreadyRegistered";
    case AXError::notificationNotRegistered: return "notificationNotRegistered";
    case AXError::apiDisabled: return "apiDisabled";
    case AXError::noValue: return "noValue";
    case AXError::parameterizedAttributeUnsupported: return "parameterizedAttributeUnsupported";
    case AXError::notEnoughPrecision: return "notEnoughPrecision";
    }
    return std::nullopt;
}

} // namespace lorvantine::AXValueDescription
