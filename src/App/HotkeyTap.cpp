#include "App/HotkeyTap.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Support/Log.h"

namespace lorvantine {

bool HotkeyTap::matches(uint16_t keyCode, uint64_t flags)
{
    return keyCode == rKeyCode && (flags & relevantFlags) == hotkeyFlags;
}

namespace {
constexpr Duration grantPollInterval = seconds(1.0);
} // namespace

HotkeyTap::~HotkeyTap()
{
    if (m_grantWatch)
        m_grantWatch->invalidate();
    if (m_tap)
        Platform::eventMonitor().removeTap(*m_tap);
}

bool HotkeyTap::install()
{
    if (m_tap)
        return true;
    if (createTap())
        return true;
    awaitInputMonitoring();
    return false;
}

void HotkeyTap::awaitInputMonitoring()
{
    // The popover and the ready tip advertise the hotkey; without this it would stay dead for the
    // whole run when the person grants access after launch.
    m_lastAccess = Platform::permissions().checkInputMonitoring();
    if (m_grantWatch)
        return;
    m_grantWatch = Timer::scheduled(grantPollInterval, Timer::Repeats::yes, [weak = weak_from_this()](Timer& timer) {
        auto self = weak.lock();
        if (!self) {
            timer.invalidate();
            return;
        }
        const InputMonitoringAccess access = Platform::permissions().checkInputMonitoring();
        const bool granted = access == InputMonitoringAccess::granted && self->m_lastAccess != InputMonitoringAccess::granted;
        self->m_lastAccess = access;
        if (granted && self->createTap()) {
            timer.invalidate();
            self->m_grantWatch.reset();
        }
    });
}

bool HotkeyTap::createTap()
{
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
