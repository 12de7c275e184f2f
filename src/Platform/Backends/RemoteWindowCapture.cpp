#include "Platform/Backends/RemoteWindowCapture.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

RemoteWindowCapture::RemoteWindowCapture(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

Expected<int, CaptureLaunchError> RemoteWindowCapture::captureWindow(uint32_t windowNumber, const std::string& pngPath)
{
    auto answer = m_desktop->call({ { "op", "cap.window" }, { "window", windowNumber }, { "path", pngPath } });
    if (!answer)
        return Unexpected(CaptureLaunchError { "the desktop server did not answer" });
    if (const std::string* reason = DesktopWire::string(*answer, "launchError"))
        return Unexpected(CaptureLaunchError { *reason });
    return static_cast<int>(DesktopWire::integer(*answer, "status").value_or(1));
}

} // namespace lorvantine
