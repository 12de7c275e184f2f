#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Clock.h"
#include "Platform/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/TextMeasurer.h"
#include "Platform/WindowHost.h"
#include "Platform/WindowServerPort.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/SimRenderer.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lorvantine::panels {

// A colour over the desktop, 0-255 per channel.
struct Rgb {
    int r = 0, g = 0, b = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

inline std::ostream& operator<<(std::ostream& out, const Rgb& c)
{
    return out << "rgb(" << c.r << "," << c.g << "," << c.b << ")";
}

inline bool near(const Rgb& a, const Rgb& b, int tolerance = 2)
{
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance && std::abs(a.b - b.b) <= tolerance;
}

// `colour` at `alpha` over `below`, as a compositor blends it.
inline Rgb over(Rgb below, Rgb colour, double alpha)
{
    auto mix = [&](int b, int c) { return static_cast<int>(std::lround(b * (1 - alpha) + c * alpha)); };
    return { mix(below.r, colour.r), mix(below.g, colour.g), mix(below.b, colour.b) };
}

inline constexpr Rgb white { 255, 255, 255 };
inline constexpr Rgb accent { 242, 101, 34 };

// One screen of 1440 × 900 points at scale 1 and nothing else: each test adds the applications
// it needs. The program's window host draws the panels into the desktop's pictures and takes
// the clicks posted through the window server; time is a manual clock; settings are in memory;
// diagnostic lines are captured.
class PanelsTest : public ::testing::Test {
protected:
    static constexpr double screenWidth = 1440;
    static constexpr double screenHeight = 900;

    void SetUp() override
    {
        RunLoop::adoptCurrentThreadAsMain();
        clock = std::make_shared<ManualClock>();
        m_previousClock = Clock::install(clock);
        defaults = std::make_shared<InMemoryUserDefaults>();
        m_previousDefaults = PreferencesModel::installDefaults(defaults);

        desktop = makeDesktop();
        m_previousServices = Platform::install(desktop->services());
        host = SimWindowHost::create(desktop);
        m_previousHost = WindowHost::install(host);
        m_previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    }

    void TearDown() override
    {
        RunLoop::runPending();
        WindowHost::install(m_previousHost);
        host.reset();
        TextMeasurer::install(m_previousMeasurer);
        Platform::install(m_previousServices);
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        PreferencesModel::installDefaults(m_previousDefaults);
        Clock::install(m_previousClock);
    }

    virtual std::shared_ptr<SimDesktop> makeDesktop()
    {
        SimFixture fixture;
        fixture.screens = screens();
        return SimDesktop::create(fixture);
    }

    virtual std::vector<ScreenInfo> screens() const
    {
        return { ScreenInfo { Rect(0, 0, screenWidth, screenHeight), Rect(0, 0, screenWidth, screenHeight - 25), 1 } };
    }

    // An application with one white, titled window; frontmost unless said otherwise.
    struct AppWindow {
        ProcessID pid = 0;
        uint32_t number = 0;
        AXElement window;
    };
    AppWindow addApplication(ProcessID pid, const std::string& bundleID, Rect frame, std::vector<SimElement> content = {},
                             bool frontmost = true)
    {
        SimApplication app;
        app.pid = pid;
        app.bundleIdentifier = bundleID;
        app.localizedName = bundleID.substr(bundleID.rfind('.') + 1);
        app.active = frontmost;
        desktop->addApplication(app);
        SimWindow w;
        w.title = "Document";
        w.frame = frame;
        w.main = true;
        w.background = 0xFFFFFFFF;
        w.children = std::move(content);
        const uint32_t number = desktop->addWindow(pid, w);
        if (frontmost)
            desktop->setFrontmost(pid);
        return { pid, number, desktop->windowElement(number) };
    }

    // Moves time on, firing the timers due and running what they post to the main queue.
    void advance(double s) { Dispatch::advance(*clock, seconds(s)); }

    std::optional<SimRenderer::Picture> render() { return SimRenderer::renderScreen(*desktop); }

    Rgb colourAt(const SimRenderer::Picture& picture, Point topLeft) const
    {
        const int x = static_cast<int>(std::floor((topLeft.x - picture.area.minX()) * picture.scale));
        const int y = static_cast<int>(std::floor((topLeft.y - picture.area.minY()) * picture.scale));
        const uint32_t p = picture.image.pixel(x, y);
        return { static_cast<int>((p >> 16) & 0xFF), static_cast<int>((p >> 8) & 0xFF), static_cast<int>(p & 0xFF) };
    }
    Rgb screenColour(Point topLeft)
    {
        auto picture = render();
        EXPECT_TRUE(picture);
        return picture ? colourAt(*picture, topLeft) : Rgb {};
    }

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

    AccessibilityPort& ax() { return Platform::accessibility(); }
    AXElement programElement() { return ax().applicationElement(host->pid()); }

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
    // Depth first below `root`: every element with `role`.
    std::vector<AXElement> findAll(const AXElement& root, const std::string& role)
    {
        std::vector<AXElement> found;
        for (const AXElement& child : children(root)) {
            if (attribute<std::string>(child, "AXRole") == role)
                found.push_back(child);
            auto deeper = findAll(child, role);
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
        return found;
    }
    std::optional<Rect> frameOf(const AXElement& element)
    {
        auto position = attribute<Point>(element, "AXPosition");
        auto size = attribute<Size>(element, "AXSize");
        if (!position || !size)
            return std::nullopt;
        return Rect(*position, *size);
    }
    void press(const AXElement& element)
    {
        EXPECT_EQ(ax().performAction(element, "AXPress"), AXError::success);
        RunLoop::runPending();
    }

    // The program's windows on screen, front to back, as the window list shows them.
    std::vector<WindowInfo> programWindows()
    {
        std::vector<WindowInfo> mine;
        auto list = Platform::windowServer().copyWindowInfo(WindowListOption::onScreenOnly);
        for (const WindowInfo& info : list.value_or(std::vector<WindowInfo> {}))
            if (info.kCGWindowOwnerPID == host->pid())
                mine.push_back(info);
        return mine;
    }

    std::shared_ptr<ManualClock> clock;
    std::shared_ptr<InMemoryUserDefaults> defaults;
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<SimWindowHost> host;
    Log::Capture log;

private:
    std::shared_ptr<Clock> m_previousClock;
    std::shared_ptr<UserDefaults> m_previousDefaults;
    PlatformServices m_previousServices;
    std::shared_ptr<WindowHost> m_previousHost;
    std::shared_ptr<const TextMeasurer> m_previousMeasurer;
};

} // namespace lorvantine::panels
