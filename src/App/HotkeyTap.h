#pragma once

#include "Platform/EventMonitorPort.h"
#include "Platform/PermissionsPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lorvantine {

class Timer;

// The global hotkey Control+Shift+R, heard through a listen-only key tap at the session level
// (events pass on unchanged). Option and Caps Lock do not matter; Command must be up. When the
// system switches the tap off (it was slow, or secure input took over) it is switched on again at
// once, so the hotkey keeps working for the whole run. A tap that could not be made (Input
// Monitoring not granted yet) is made when the grant arrives: Input Monitoring is looked at once
// a second until then.
//
// Main thread only; `onHotkey` runs on the main queue. The tap and the look at Input Monitoring
// end with the object.
class HotkeyTap : public std::enable_shared_from_this<HotkeyTap> {
public:
    static constexpr uint16_t rKeyCode = 15;
    static constexpr uint64_t relevantFlags = 0x160000; // Shift, Control, Command
    static constexpr uint64_t hotkeyFlags = 0x60000;    // Shift and Control

    // Whether a key-down of `keyCode` with `flags` is the hotkey.
    static bool matches(uint16_t keyCode, uint64_t flags);

    ~HotkeyTap();
    // Creates the tap and writes whether it could ("[Hotkey] …"). Answers whether it runs; when
    // it does not, the tap is made later, once Input Monitoring turns granted.
    bool install();
    bool isInstalled() const { return m_tap.has_value(); }

    std::function<void()> onHotkey;

private:
    void handle(const MonitoredEvent& event);
    void handleDisabled(EventTapDisabledReason reason);
    bool createTap();
    void awaitInputMonitoring();

    std::optional<EventTapID> m_tap;
    std::shared_ptr<Timer> m_grantWatch;
    InputMonitoringAccess m_lastAccess = InputMonitoringAccess::unknown;
};

} // namespace lorvantine
