#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Clock.h"
#include "Platform/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/TextMeasurer.h"
#include "Platform/WindowHost.h"
#include "Platform/WindowServerPort.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/SimRenderer.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c) { return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")"; }

inline bool close(const Rgb& a, const Rgb& b, int tolerance = 3)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// Un-premultiplied colour of one pixel.
inline Rgb rgbOf(uint32_t argb)
{
    const int a = (argb >> 24) & 0xFF;
    if (a == 0)
        return {};
    auto channel = [&](int shift) { return std::min(255, static_cast<int>(((argb >> shift) & 0xFF) * 255 / a)); };
    return { channel(16), channel(8), channel(0) };
}

// A desktop of one 1440 × 900 screen at scale 1, the reader application (pid 700, frontmost) with
// its white window 42 at (100, 50, 600, 400) top-left, the program's window host and a manual
// clock. Each test builds its windows; the desktop checks what the program shows.
class ToolkitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        clock = std::make_shared<ManualClock>();
        previousClock = Clock::install(clock);

        SimFixture fixture;
        fixture.screens.push_back(ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 1 });
        SimApplication reader;
        reader.pid = 700;
        reader.bundleIdentifier = "com.example.Reader";
        reader.localizedName = "Reader";
        reader.active = true;
        SimWindow window;
        window.number = 42;
        window.title = "Document";
        window.frame = Rect(100, 50, 600, 400);
        window.main = true;
        window.background = 0xFFFFFFFF;
        reader.windows.push_back(window);
        fixture.applications.push_back(reader);
        desktop = SimDesktop::create(fixture);
        previousServices = Platform::install(desktop->services());
        host = SimWindowHost::create(desktop);
        previousHost = WindowHost::install(host);
        previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    }

    void TearDown() override
    {
        RunLoop::runPending();
        WindowHost::install(previousHost);
        host.reset();
        TextMeasurer::install(previousMeasurer);
        Platform::install(previousServices);
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        Clock::install(previousClock);
    }

    AccessibilityPort& ax() { return Platform::accessibility(); }
    ProcessID pid() const { return host->pid(); }

    // Posts at the HID tap, as a user's hand does, and lets the main queue deliver it.
    void post(InputEventType type, Point topLeft)
    {
        Platform::windowServer().post(EventTap::hid, InputEvent::mouse(std::nullopt, type, topLeft));
        RunLoop::runPending();
    }
    void click(Point topLeft)
    {
        post(InputEventType::leftMouseDown, topLeft);
        post(InputEventType::leftMouseUp, topLeft);
    }
    void moveTo(Point topLeft) { post(InputEventType::mouseMoved, topLeft); }

    Rgb screenColour(Point topLeft)
    {
        auto picture = SimRenderer::renderScreen(*desktop);
        EXPECT_TRUE(picture);
        if (!picture)
            return {};
        return rgbOf(picture->image.pixel(static_cast<int>(topLeft.x * picture->scale), static_cast<int>(topLeft.y * picture->scale)));
    }

    template<typename T> std::optional<T> attribute(const AXElement& element, const std::string& name)
    {
        AXValue value;
        if (ax().copyAttributeValue(element, name, value) != AXError::success)
            return std::nullopt;
        if (const T* typed = std::get_if<T>(&value))
            return *typed;
        return std::nullopt;
    }
    std::vector<AXElement> children(const AXElement& element)
    {
        return attribute<std::vector<AXElement>>(element, "AXChildren").value_or(std::vector<AXElement> {});
    }
    // Depth first, the first element with `role` (and `title`, when given) below `root`.
    std::optional<AXElement> find(const AXElement& root, const std::string& role, std::optional<std::string> title = {})
    {
        for (const AXElement& child : children(root)) {
            if (attribute<std::string>(child, "AXRole") == role && (!title || attribute<std::string>(child, "AXTitle") == title))
                return child;
            if (auto deeper = find(child, role, title))
                return deeper;
        }
        return std::nullopt;
    }

    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<Clock> previousClock;
    std::shared_ptr<SimDesktop> desktop;
    PlatformServices previousServices;
    std::shared_ptr<SimWindowHost> host;
    std::shared_ptr<WindowHost> previousHost;
    std::shared_ptr<const TextMeasurer> previousMeasurer;
};

} // namespace lorvantine
