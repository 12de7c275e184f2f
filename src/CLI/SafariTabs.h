#pragma once

#include "Support/Expected.h"

#include <string>

namespace lorvantine {

// Opening web pages in Safari and closing them again, from outside, through "/usr/bin/open" and
// "/usr/bin/osascript" (the process port). Blocks the calling thread (the command line's main
// thread) until each program has ended.
namespace SafariTabs {

// "open -a Safari <url>". The error when open could not start or refused (its standard error):
// then no tab was opened for the address.
Expected<void, std::string> open(const std::string& url);

// The keystroke script that closes the front tab, as the harness sends it (five lines) and as URL
// validation sends it (one line).
const std::string& closeTabScript();
const std::string& oneLineCloseTabScript();

// Brings Safari to the front, then runs `script`: a keystroke goes to whatever is frontmost, and
// must never close another application's window. A failure to start osascript is ignored.
void closeFrontTab(const std::string& script);

} // namespace SafariTabs
} // namespace lorvantine
