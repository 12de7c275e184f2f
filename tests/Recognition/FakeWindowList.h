#pragma once

#include "Platform/WindowServerPort.h"

#include <mutex>

namespace lorvantine::testing {

// A window list that a test writes; none when `windows` is none. Nothing else of the window
// server is used by recognition.
class FakeWindowList final : public WindowServerPort {
public:
    void setWindows(std::optional<std::vector<WindowInfo>> windows)
    {
        std::lock_guard lock(m_mutex);
        m_windows = std::move(windows);
    }
    void add(const WindowInfo& window)
    {
        std::lock_guard lock(m_mutex);
        if (!m_windows)
            m_windows.emplace();
        m_windows->push_back(window);
    }

    std::optional<std::vector<WindowInfo>> copyWindowInfo(uint32_t) override
    {
        std::lock_guard lock(m_mutex);
        return m_windows;
    }
    std::vector<ScreenInfo> screens() override { return {}; }
    std::optional<ScreenInfo> mainScreen() override { return std::nullopt; }
    void post(EventTap, const InputEvent&) override {}
    void postToPid(ProcessID, const InputEvent&) override {}
    Point mouseLocation(Origin) override { return {}; }

private:
    std::mutex m_mutex;
    std::optional<std::vector<WindowInfo>> m_windows = std::vector<WindowInfo>();
};

} // namespace lorvantine::testing
