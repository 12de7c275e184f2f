#pragma once

#include "Platform/WindowServerPort.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// The window server over a simulated desktop: the window list follows the model's windows,
// posted events go to the journal (and move the pointer when posted at a tap).
class SimWindowServer final : public WindowServerPort {
public:
    explicit SimWindowServer(std::shared_ptr<SimDesktop> desktop) : m_desktop(std::move(desktop)) {}

    std::optional<std::vector<WindowInfo>> copyWindowInfo(uint32_t options) override;
    std::vector<ScreenInfo> screens() override;
    std::optional<ScreenInfo> mainScreen() override;
    void post(EventTap tap, const InputEvent& event) override;
    void postToPid(ProcessID pid, const InputEvent& event) override;
    Point mouseLocation(Origin origin) override;

private:
    std::shared_ptr<SimDesktop> m_desktop;
};

} // namespace lorvantine
