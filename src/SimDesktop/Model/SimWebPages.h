#pragma once

#include "SimDesktop/Model/SimInstalledApplication.h"
#include "SimDesktop/Model/SimModel.h"

#include <string>

namespace lorvantine {

// What a browser of the desktop shows for a URL: the page its catalogue holds for that address,
// or an error page naming the address. Called with the desktop locked.
namespace SimWebPages {

// The tab's window for `url`: the catalogue's page, else the browser's error page.
SimWindow pageWindow(const SimInstalledApplication& browser, const std::string& url);

// Opens that window for `pid` as its front, main window; 0 when `pid` runs nothing.
uint32_t open(SimModel& model, ProcessID pid, const SimInstalledApplication& browser, const std::string& url);

} // namespace SimWebPages
} // namespace lorvantine
