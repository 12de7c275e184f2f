#pragma once

#include <optional>
#include <string>

namespace lorvantine {

// The program's own version, as the build stamps it (the platform's short version string of the
// application bundle). No state; any thread.
namespace AppVersion {

// None when the build gave no version.
std::optional<std::string> shortVersionString();

} // namespace AppVersion
} // namespace lorvantine
