#pragma once

#include "Platform/WindowServerPort.h"

#include <memory>

namespace lorvantine {

class RemoteDesktop;

// The window server answered by the desktop server; any thread. Without an answer the window
// list is none, there are no screens and the pointer is at the origin.
class RemoteWindowServer : public WindowServerPort {
public:
    explicit RemoteWindowServer(std::shared_ptr<RemoteDesktop> desktop);
    std::optional<std::vector<WindowInfo>> copyWindowInfo(uint32_t options) override;
    std::vector<ScreenInfo> screens() override;
    std::optional<ScreenInfo> mainScreen() override;
    void post(EventTap tap, const InputEvent& event) override;
    void postToPid(ProcessID pid, const InputEvent& event) override;
    Point mouseLocation(Origin origin) override;

private:
    const std::shared_ptr<RemoteDesktop> m_desktop;
};

} // namespace lorvantine
