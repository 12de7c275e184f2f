#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Screen.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Platform/Toolkit/Window.h"
#include "Platform/Toolkit/WindowHost.h"
#include "Platform/WindowServerPort.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Rendering/SimRenderer.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace lorvantine {

// A colour on screen, 0-255 per channel.
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

// Un-premultiplied colour of one pixel.
inline Rgb rgbOf(uint32_t argb)
{
    const int a = (argb >> 24) & 0xFF;
    if (a == 0)
        return {};
    auto channel = [&](int shift) { return std::min(255, static_cast<int>(((argb >> shift) & 0xFF) * 255 / a)); };
    return { channel(16), channel(8), channel(0) };
}

inline constexpr Rgb white { 255, 255, 255 };

// A fixture of tests/fixtures by file name; a fault in it fails the test and gives an empty desktop.
inline SimFixture fixtureNamed(const std::string& name)
{
    auto fixture = SimFixtureLoader::load(std::string(LORVANTINE_SOURCE_DIR) + "/tests/fixtures/" + name);
    EXPECT_TRUE(fixture) << fixture.error();
    return fixture ? *fixture : SimFixture {};
}

// A desktop of one application, `app`, frontmost, with `window` as its main window.
inline SimFixture oneApplicationFixture(SimApplication app, SimWindow window)
{
    app.active = true;
    window.main = true;
    app.windows.push_back(std::move(window));
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return fixture;
}

// One application, "com.example.Reader" (pid 700, frontmost), with one white window (number 42,
// named "window") at (100, 50), 600 × 400, holding whatever `content` the test gives.
inline SimFixture oneWindowFixture(std::vector<SimElement> content = {})
{
    return oneApplicationFixture({ .pid = 700, .bundleIdentifier = "com.example.Reader", .localizedName = "Reader" },
                                 { .number = 42,
                                   .title = "Document",
                                   .name = "window",
                                   .frame = Rect(100, 50, 600, 400),
                                   .children = std::move(content) });
}

// An attribute of `element` as `T`; none when it cannot be read or is of another type.
template<typename T> std::optional<T> readAttribute(AccessibilityPort& ax, const AXElement& element, const std::string& name)
{
    AXValue value;
    if (ax.copyAttributeValue(element, name, value) != AXError::success)
        return std::nullopt;
    if (const T* typed = axGet<T>(value))
        return *typed;
    return std::nullopt;
}

template<typename T>
std::optional<T> readParameterized(AccessibilityPort& ax, const AXElement& element, const std::string& name, const AXValue& parameter)
{
    AXValue value;
    if (ax.copyParameterizedAttributeValue(element, name, parameter, value) != AXError::success)
        return std::nullopt;
    if (const T* typed = axGet<T>(value))
        return *typed;
    return std::nullopt;
}

// A simulated desktop showing the program's own windows: its screens (by default one of
// 1440 × 900 points at scale 1), the program's window host drawing the panels into the desktop's
// pictures and taking the clicks posted through the window server, a manual clock, settings in
// memory, and captured diagnostic lines. The program is a menu-bar application, as it runs.
class DesktopTest : public ::testing::Test {
protected:
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
        m_previousPolicy = Application::shared().activationPolicy();
        Application::shared().setActivationPolicy(ActivationPolicy::accessory);
    }

    void TearDown() override
    {
        RunLoop::runPending();
        Application::shared().setActivationPolicy(m_previousPolicy);
        WindowHost::install(m_previousHost);
        host.reset();
        TextMeasurer::install(m_previousMeasurer);
        Platform::install(m_previousServices);
        EXPECT_TRUE(Dispatch::waitUntilIdle());
        // Every manual clock starts at the same time: what this test left scheduled would fire
        // in the next one.
        Dispatch::discardDelayedWork();
        PreferencesModel::installDefaults(m_previousDefaults);
        Clock::install(m_previousClock);
    }

    virtual std::shared_ptr<SimDesktop> makeDesktop()
    {
        SimFixture fixture;
        fixture.screens = screens();
        return SimDesktop::create(fixture);
    }

    virtual std::vector<ScreenInfo> screens() const { return { ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 1 } }; }

    // Moves time on, firing the timers due and running what they post to the main queue.
    void advance(double s) { Dispatch::advance(*clock, seconds(s)); }

    std::optional<SimRenderer::Picture> render() { return SimRenderer::renderScreen(*desktop); }

    Rgb colourAt(const SimRenderer::Picture& picture, Point topLeft) const
    {
        const int x = static_cast<int>(std::floor((topLeft.x - picture.area.minX()) * picture.scale));
        const int y = static_cast<int>(std::floor((topLeft.y - picture.area.minY()) * picture.scale));
        return rgbOf(picture.image.pixel(x, y));
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
    void moveTo(Point topLeft) { post(InputEventType::mouseMoved, topLeft); }
    // A click in the middle of the title bar of a titled window of the program.
    void clickTitleBar(const Window& window)
    {
        const auto frame = Screen::toTopLeft(window.frame());
        ASSERT_TRUE(frame);
        click({ frame->midX(), frame->minY() + Window::titleBarHeight / 2 });
    }
    // A key pressed and let go at the HID tap, typing `characters`.
    void key(uint16_t code, uint64_t flags = 0, std::string characters = {})
    {
        for (bool down : { true, false }) {
            InputEvent event = InputEvent::keyboard(std::nullopt, code, down);
            event.flags = flags;
            event.characters = characters;
            Platform::windowServer().post(EventTap::hid, event);
        }
        RunLoop::runPending();
    }

    AccessibilityPort& ax() { return Platform::accessibility(); }
    ProcessID pid() const { return host->pid(); }
    AXElement programElement() { return ax().applicationElement(pid()); }

    template<typename T> std::optional<T> attribute(const AXElement& element, const std::string& name)
    {
        return readAttribute<T>(ax(), element, name);
    }
    std::vector<AXElement> children(const AXElement& element)
    {
        return attribute<std::vector<AXElement>>(element, "AXChildren").value_or(std::vector<AXElement> {});
    }
    // Depth first below `root`: every element with `role` (and `title`, when given).
    std::vector<AXElement> findAll(const AXElement& root, const std::string& role, std::optional<std::string> title = {})
    {
        std::vector<AXElement> found;
        for (const AXElement& child : children(root)) {
            if (attribute<std::string>(child, "AXRole") == role && (!title || attribute<std::string>(child, "AXTitle") == title))
                found.push_back(child);
            auto deeper = findAll(child, role, title);
            found.insert(found.end(), deeper.begin(), deeper.end());
        }
        return found;
    }
    std::optional<AXElement> find(const AXElement& root, const std::string& role, std::optional<std::string> title = {})
    {
        auto found = findAll(root, role, std::move(title));
        return found.empty() ? std::nullopt : std::optional<AXElement>(found.front());
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
            if (info.kCGWindowOwnerPID == pid())
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
    ActivationPolicy m_previousPolicy = ActivationPolicy::regular;
};

} // namespace lorvantine
