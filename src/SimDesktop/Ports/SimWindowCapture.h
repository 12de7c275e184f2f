#pragma once

#include "Platform/WindowCapturePort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// The screen-capture tool of the simulated desktop: `screencapture -l <number> -x -o <path>`
// photographs the window as SimRenderer::renderWindow draws it, at the backing scale of its
// screen, and writes it as PNG. Exit status 0 on success; 1 when the window is unknown, minimized,
// of a hidden application or too large, or the file cannot be written (the tool prints "could not
// create image from window" and exits 1). When the desktop's capture tool is `cannotStart`, no
// status at all. Any thread.
class SimWindowCapture final : public WindowCapturePort {
public:
    explicit SimWindowCapture(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    Expected<int, CaptureLaunchError> captureWindow(uint32_t windowNumber, const std::string& pngPath) override;

private:
    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
