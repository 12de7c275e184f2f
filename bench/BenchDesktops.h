#pragma once

#include "SimDesktop/SimDesktop.h"

#include <memory>
#include <string>

namespace lorvantine::bench {

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
