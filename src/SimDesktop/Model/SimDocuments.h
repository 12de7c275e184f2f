#pragma once

#include "SimDesktop/Model/SimInstalledApplication.h"
#include "SimDesktop/Model/SimModel.h"

#include <optional>
#include <string>

namespace lorvantine {

// Documents of the desktop's applications: the windows they open on a file or a new document,
// what a window's document holds, and pasting into it. Called with the desktop locked.
namespace SimDocuments {

// The template's window titled `title`, its text element holding `text` and focused as the
// template says; the template's names are left out.
SimWindow window(const SimDocumentTemplate& document, const std::string& title, const std::string& text);

// Opens that window for `pid`, in front of its other windows and focused; 0 when `pid` runs nothing.
uint32_t open(SimModel& model, ProcessID pid, const SimDocumentTemplate& document, const std::string& title,
              const std::string& text);

// The text of the window's first text element (depth first); none when it has none.
std::optional<std::string> contents(SimModel& model, uint32_t windowNumber);

// Puts `text` in place of the selection of the application's focused text and leaves the caret
// after it; false when nothing that takes text has the focus.
bool paste(SimModel& model, ProcessID pid, const std::string& text);

// The installed application with that bundle identifier, that name, or that bundle path.
const SimInstalledApplication* installed(const SimModel& model, const std::string& bundleID);
const SimInstalledApplication* installedNamed(const SimModel& model, const std::string& nameOrPath);

} // namespace SimDocuments
} // namespace lorvantine
