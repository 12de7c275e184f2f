#include "SimDesktop/Model/SimWebPages.h"

namespace lorvantine::SimWebPages {

namespace {

// What a browser shows when it cannot reach an address: a page of its own, a heading and one line.
SimWindow plainErrorPage(const SimInstalledApplication& browser, const std::string& url)
{
    SimWindow window;
    window.frame = browser.pages.empty() ? Rect(160, 30, 1100, 860) : browser.pages.front().window.frame;
    SimElement area("AXWebArea");
    area.frame(Rect(0, 52, window.frame.size.width, window.frame.size.height - 52))
        .with("AXDescription", std::string("Failed to open page"));
    area.padding = 40;
    area.spacing = 16;
    area.child(SimElement("AXHeading").with("AXTitle", std::string("Can’t Open the Page"))
                   .child(SimElement("AXStaticText", "Can’t Open the Page")));
    area.child(SimElement("AXStaticText", "The page “" + url + "” cannot be found."));
    window.children.push_back(std::move(area));
    return window;
}

} // namespace

SimWindow pageWindow(const SimInstalledApplication& browser, const std::string& url)
{
    for (const SimWebPage& page : browser.pages)
        if (page.url == url)
            return page.window;
    SimWindow error = browser.errorPage ? *browser.errorPage : plainErrorPage(browser, url);
    if (error.title.empty())
        error.title = "Failed to open page";
    return error;
}

uint32_t open(SimModel& model, ProcessID pid, const SimInstalledApplication& browser, const std::string& url)
{
    SimWindow window = pageWindow(browser, url);
    window.number = 0;
    window.main = true;
    const uint32_t number = model.addWindow(pid, window);
    if (number != 0)
        model.raiseWindow(number);
    return number;
}

} // namespace lorvantine::SimWebPages
