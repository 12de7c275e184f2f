#pragma once

#include "Platform/WindowCapturePort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// Window captures drawn by the desktop server, which writes the picture to the path given (the
// two share the machine and the user). Any thread.
class RemoteWindowCapture : public WindowCapturePort {
public:
    explicit RemoteWindowCapture(std::shared_ptr<RemoteDesktop> desktop);
    Expected<int, CaptureLaunchError> captureWindow(uint32_t windowNumber, const std::string& pngPath) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
