#pragma once

#include "Platform/EventMonitorPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

namespace lorvantine {

// The global hotkey Control+Shift+R, heard through a listen-only key tap at the session level
// (events pass on unchanged). Option and Caps Lock do not matter; Command must be up. When the
// system switches the tap off (it was slow, or secure input took over) it is switched on again at
// once, so the hotkey keeps working for the whole run.
//
// Main thread only; `onHotkey` runs on the main queue. The tap is removed with the object.
class HotkeyTap : public std::enable_shared_from_this<HotkeyTap> {
public:
    static constexpr uint16_t rKeyCode = 15;
    static constexpr uint64_t relevantFlags = 0x160000; // Shift, Control, Command
    static constexpr uint64_t hotkeyFlags = 0x60000;    // Shift and Control

    // Whether a key-down of `keyCode` with `flags` is the hotkey.
    static bool matches(uint16_t keyCode, uint64_t flags);

    ~HotkeyTap();
    // Creates the tap and writes whether it could ("[Hotkey] …"). Answers whether it runs.
    bool install();
    bool isInstalled() const { return m_tap.has_value(); }

    std::function<void()> onHotkey;

private:
    void handle(const MonitoredEvent& event);
    void handleDisabled(EventTapDisabledReason reason);

    std::optional<EventTapID> m_tap;
};

} // namespace lorvantine
