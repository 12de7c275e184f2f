#pragma once

#include "Platform/AccessibilityPort.h"
#include "SimDesktop/SimDesktop.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

// A desktop with its ports at hand, for tests that talk to the ports directly.
struct PortsUnderTest {
    std::shared_ptr<SimDesktop> desktop;
    PlatformServices ports;
    AccessibilityPort& ax() { return *ports.accessibility; }

    explicit PortsUnderTest(std::shared_ptr<SimDesktop> d) : desktop(std::move(d)), ports(desktop->services()) {}

    template<typename T> std::optional<T> get(const AXElement& element, const std::string& attribute)
    {
        AXValue value;
        if (ax().copyAttributeValue(element, attribute, value) != AXError::success)
            return std::nullopt;
        if (const T* typed = axGet<T>(value))
            return *typed;
        return std::nullopt;
    }

    AXError error(const AXElement& element, const std::string& attribute)
    {
        AXValue value;
        return ax().copyAttributeValue(element, attribute, value);
    }

    template<typename T>
    std::optional<T> parameterized(const AXElement& element, const std::string& attribute, const AXValue& parameter)
    {
        AXValue value;
        if (ax().copyParameterizedAttributeValue(element, attribute, parameter, value) != AXError::success)
            return std::nullopt;
        if (const T* typed = axGet<T>(value))
            return *typed;
        return std::nullopt;
    }

    std::optional<Rect> bounds(const AXElement& element, int64_t location, int64_t length)
    {
        return parameterized<Rect>(element, "AXBoundsForRange", AXRange { location, length });
    }
};

// One application, "com.example.Reader" (pid 700), with one window (number 42) at (100, 50),
// 600 × 400, holding whatever `content` the test gives.
inline SimFixture oneWindowFixture(std::vector<SimElement> content)
{
    SimApplication app;
    app.pid = 700;
    app.bundleIdentifier = "com.example.Reader";
    app.localizedName = "Reader";
    app.active = true;
    SimWindow window;
    window.number = 42;
    window.title = "Document";
    window.name = "window";
    window.frame = Rect(100, 50, 600, 400);
    window.main = true;
    window.children = std::move(content);
    app.windows.push_back(std::move(window));
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return fixture;
}

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
