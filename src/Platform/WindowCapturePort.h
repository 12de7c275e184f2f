#pragma once

#include "Support/Expected.h"

#include <cstdint>
#include <string>

namespace lorvantine {

struct CaptureLaunchError {
    std::string reason;
};

// Photographs one window of the window list, as the platform's screen-capture tool does when run
// as `screencapture -l <number> -x -o <path>`: the window alone, without its shadow, silently,
// written as a PNG file at the window's backing scale. Any thread; blocks until the tool is done.
class WindowCapturePort {
public:
    virtual ~WindowCapturePort() = default;

    // The tool's exit status (0: the picture is at `pngPath`, which is replaced), or why the tool
    // could not be started.
    virtual Expected<int, CaptureLaunchError> captureWindow(uint32_t windowNumber, const std::string& pngPath) = 0;
};

} // namespace lorvantine
