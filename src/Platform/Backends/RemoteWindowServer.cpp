#include "Platform/Backends/RemoteWindowServer.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"

namespace lorvantine {

namespace Wire = DesktopWire;

RemoteWindowServer::RemoteWindowServer(std::shared_ptr<RemoteDesktop> desktop)
    : m_desktop(std::move(desktop))
{
}

std::optional<std::vector<WindowInfo>> RemoteWindowServer::copyWindowInfo(uint32_t options)
{
    return Wire::readItems(m_desktop->call({ { "op", "ws.windows" }, { "options", options } }), Wire::readWindowInfo);
}

std::vector<ScreenInfo> RemoteWindowServer::screens()
{
    return Wire::readItems(m_desktop->call({ { "op", "ws.screens" } }), Wire::readScreen)
        .value_or(std::vector<ScreenInfo> {});
}

std::optional<ScreenInfo> RemoteWindowServer::mainScreen()
{
    auto answer = m_desktop->call({ { "op", "ws.mainScreen" } });
    return answer ? Wire::readScreen(*answer) : std::nullopt;
}

void RemoteWindowServer::post(EventTap tap, const InputEvent& event)
{
    m_desktop->call({ { "op", "ws.post" }, { "tap", static_cast<int>(tap) }, { "event", Wire::event(event) } });
}

void RemoteWindowServer::postToPid(ProcessID pid, const InputEvent& event)
{
    m_desktop->call({ { "op", "ws.postToPid" }, { "pid", pid }, { "event", Wire::event(event) } });
}

Point RemoteWindowServer::mouseLocation(Origin origin)
{
    auto answer = m_desktop->call({ { "op", "ws.mouse" }, { "appKit", origin == Origin::appKit } });
    if (!answer)
        return {};
    return Point { Wire::number(*answer, "x").value_or(0), Wire::number(*answer, "y").value_or(0) };
}

} // namespace lorvantine
