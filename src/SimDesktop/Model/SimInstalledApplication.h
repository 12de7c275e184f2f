#pragma once

#include <optional>
#include <string>

namespace lorvantine {

// An application bundle installed on the simulated desktop, whether or not it runs.
struct SimInstalledApplication {
    std::string bundleIdentifier;
    std::optional<std::string> localizedName;
    std::optional<std::string> bundlePath;
    std::optional<std::string> bundleVersion;
    friend bool operator==(const SimInstalledApplication&, const SimInstalledApplication&) = default;
};

} // namespace lorvantine
