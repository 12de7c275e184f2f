#pragma once

#include "SimDesktop/Model/SimApplication.h"
#include "SimDesktop/Model/SimWindow.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The window an application opens on a document (a file it is asked to open, or a new one):
// `window` is copied with the document's name as its title, the element named `textElement`
// gets the document's text and the one named `focusElement` (the text element when empty) the
// focus. The names are the template's own; the opened window's elements carry none.
struct SimDocumentTemplate {
    SimWindow window;
    std::string textElement;
    std::string focusElement;
    friend bool operator==(const SimDocumentTemplate&, const SimDocumentTemplate&) = default;
};

// A web page a browser shows when it is asked to open `url`: the window of its tab.
struct SimWebPage {
    std::string url;
    SimWindow window;
    friend bool operator==(const SimWebPage&, const SimWebPage&) = default;
};

// An application installed on the desktop, which "open" and AppleScript can launch. `application`
// is what runs once it is launched (its identity, behaviours and the windows it shows on its own);
// `launchDelay` seconds pass on the installed clock before it runs.
struct SimInstalledApplication {
    SimApplication application;
    double launchDelay = 0;
    std::optional<SimDocumentTemplate> document;
    std::vector<std::string> extensions; // the files it opens by default ("txt", "md")
    std::vector<std::string> schemes;    // the URLs it opens by default ("https")
    // A browser's catalogue: each URL it is asked to open shows its page in a tab (a window of
    // its own); a URL outside the catalogue shows `errorPage`, or a plain error page without one.
    std::vector<SimWebPage> pages;
    std::optional<SimWindow> errorPage;
};

} // namespace lorvantine
