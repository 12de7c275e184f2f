#include "App/HotkeyTap.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Support/Log.h"

namespace lorvantine {

bool HotkeyTap::matches(uint16_t keyCode, uint64_t flags)
{
    return keyCode == rKeyCode && (flags & relevantFlags) == hotkeyFlags;
}

HotkeyTap::~HotkeyTap()
{
    if (m_tap)
        Platform::eventMonitor().removeTap(*m_tap);
}

bool HotkeyTap::install()
{
    if (m_tap)
        return true;
    m_tap = Platform::eventMonitor().createListenOnlyTap(
        eventTypeMask(InputEventType::keyDown),
        [weak = weak_from_this()](const MonitoredEvent& event) {
            if (auto self = weak.lock())
                self->handle(event);
        },
        [weak = weak_from_this()](EventTapDisabledReason reason) {
            if (auto self = weak.lock())
                self->handleDisabled(reason);
        });
    if (!m_tap) {
        Log::line("[Hotkey] 无法注册全局快捷键（需要辅助功能权限）");
        return false;
    }
    Log::line("[Hotkey] Ctrl+Shift+R 已注册");
    return true;
}

void HotkeyTap::handle(const MonitoredEvent& event)
{
    if (event.type != InputEventType::keyDown || !matches(event.keyCode, event.modifierFlags))
        return;
    DispatchQueue::main().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->onHotkey)
            self->onHotkey();
    });
}

void HotkeyTap::handleDisabled(EventTapDisabledReason)
{
    // Left off, the hotkey would be dead for the rest of the run.
    if (m_tap)
        Platform::eventMonitor().setTapEnabled(*m_tap, true);
}

} // namespace lorvantine
