#pragma once

#include <iostream>
#include <string>
#include <vector>

namespace lorvantine {

// "--inspect [--app <bundleID>] [--depth N]": how an application exposes its windows to
// accessibility, and how a document source for it should be built (the web-article extraction,
// merged native text nodes, or recognition of window captures).
//
// Stateless: every call reads the live tree afresh on the caller's thread (the main thread of the
// command line) and blocks while the other application answers; nothing is held between calls.
// The report goes to the diagnostic log; the first window's tree alone goes to `treeOut`, so that
// redirecting standard output captures just the tree.
namespace AppInspector {

// Writes the report and answers the exit status: 1 when the application is not found, else 0
// (also when it has no window to show).
int inspect(const std::vector<std::string>& args, std::ostream& treeOut = std::cout);

} // namespace AppInspector
} // namespace lorvantine
