#pragma once

#include "TestSupport/DesktopTest.h"

namespace lorvantine {

// A desktop with its ports at hand, for tests that talk to the ports directly.
struct PortsUnderTest {
    std::shared_ptr<SimDesktop> desktop;
    PlatformServices ports;
    AccessibilityPort& ax() { return *ports.accessibility; }

    explicit PortsUnderTest(std::shared_ptr<SimDesktop> d) : desktop(std::move(d)), ports(desktop->services()) {}

    template<typename T> std::optional<T> get(const AXElement& element, const std::string& attribute)
    {
        return readAttribute<T>(ax(), element, attribute);
    }
    AXError error(const AXElement& element, const std::string& attribute)
    {
        AXValue value;
        return ax().copyAttributeValue(element, attribute, value);
    }
    template<typename T>
    std::optional<T> parameterized(const AXElement& element, const std::string& attribute, const AXValue& parameter)
    {
        return readParameterized<T>(ax(), element, attribute, parameter);
    }
    std::optional<Rect> bounds(const AXElement& element, int64_t location, int64_t length)
    {
        return parameterized<Rect>(element, "AXBoundsForRange", AXRange { location, length });
    }
};

inline ::testing::AssertionResult near(const Rect& a, const Rect& b, double tolerance = 0.01)
{
    if (std::abs(a.origin.x - b.origin.x) <= tolerance && std::abs(a.origin.y - b.origin.y) <= tolerance
        && std::abs(a.size.width - b.size.width) <= tolerance && std::abs(a.size.height - b.size.height) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.origin.x << ", " << a.origin.y << ", " << a.size.width << ", "
                                         << a.size.height << ") vs (" << b.origin.x << ", " << b.origin.y << ", "
                                         << b.size.width << ", " << b.size.height << ")";
}

} // namespace lorvantine
