#pragma once

#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/Toolkit/TextMeasurer.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"

#include <memory>
#include <string>

namespace lorvantine::bench {

// The program on `desktop` for one benchmark, on this thread as its main thread: the desktop's
// services, the program's window host, the Pango text measurer and settings in memory, all
// installed until destruction, which first lets the work still queued finish.
struct ProgramOnDesktop {
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    std::shared_ptr<SimWindowHost> host;

    explicit ProgramOnDesktop(std::shared_ptr<SimDesktop> simDesktop) : desktop(std::move(simDesktop))
    {
        RunLoop::adoptCurrentThreadAsMain();
        m_previousDefaults = PreferencesModel::installDefaults(defaults);
        m_previousServices = Platform::install(desktop->services());
        host = SimWindowHost::create(desktop);
        m_previousHost = WindowHost::install(host);
        m_previousMeasurer = TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    }
    ~ProgramOnDesktop()
    {
        RunLoop::runPending();
        WindowHost::install(m_previousHost);
        host.reset();
        TextMeasurer::install(m_previousMeasurer);
        Platform::install(m_previousServices);
        Dispatch::waitUntilIdle();
        PreferencesModel::installDefaults(m_previousDefaults);
    }
    ProgramOnDesktop(const ProgramOnDesktop&) = delete;
    ProgramOnDesktop& operator=(const ProgramOnDesktop&) = delete;

private:
    std::shared_ptr<UserDefaults> m_previousDefaults;
    PlatformServices m_previousServices;
    std::shared_ptr<WindowHost> m_previousHost;
    std::shared_ptr<const TextMeasurer> m_previousMeasurer;
};

// A desktop whose one application (pid 900, active) shows `window` as its main window.
inline std::shared_ptr<SimDesktop> oneWindowDesktop(SimWindow window, const std::string& bundleIdentifier)
{
    window.main = true;
    SimApplication app;
    app.pid = 900;
    app.bundleIdentifier = bundleIdentifier;
    app.active = true;
    app.windows.push_back(std::move(window));
    SimFixture fixture;
    fixture.applications.push_back(std::move(app));
    return SimDesktop::create(fixture);
}

// A Safari-like browser showing `article` in window `windowNumber`: window, scroll area, web
// area (40 points of padding), then the article.
inline std::shared_ptr<SimDesktop> safariArticleDesktop(SimElement article, const std::string& title, uint32_t windowNumber)
{
    SimElement webArea("AXWebArea");
    webArea.with("AXDescription", title).at({ 0, 0 }).sized(1000);
    webArea.padding = 40;
    webArea.children.push_back(std::move(article));

    SimWindow window;
    window.number = windowNumber;
    window.title = title;
    window.frame = Rect(100, 40, 1000, 820);
    window.children.push_back(SimElement("AXScrollArea").frame(Rect(0, 52, 1000, 768)).child(std::move(webArea)));
    return oneWindowDesktop(std::move(window), "com.apple.Safari");
}

} // namespace lorvantine::bench
