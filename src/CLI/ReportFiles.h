#pragma once

#include <string>
#include <string_view>

namespace lorvantine {

// Writing the reports of the probes and test runners. Stateless.
namespace ReportFiles {

// Replaces `path` with `bytes` atomically; when that fails, says so on standard error (naming
// the path and the reason) and answers false, so that no success line follows a lost report.
bool write(const std::string& path, std::string_view bytes);

} // namespace ReportFiles
} // namespace lorvantine
