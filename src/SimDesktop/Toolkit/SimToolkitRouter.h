#pragma once

#include "Platform/AXTypes.h"
#include "Platform/WindowServerPort.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>

namespace lorvantine {

// Sends what happens on the desktop to the program's own windows: a mouse event posted at a tap
// goes to the front-most window under the pointer that does not ignore mouse events, except that
// from a press until its release, drags and the release go to the window that took the press,
// wherever the pointer is. When that window is one of the program's, the event is handed to
// the destination on the main queue (a press on a window that activates brings the program to
// the front at once); every pointer move is reported so tracking areas see the pointer leave.
// A key posted at a tap while the program has the keys (it is the frontmost application, or a menu
// of it is open), or posted to its process, is handed over the same way (for its key window).
// Actions performed on an element of the program ("AXPress", "AXConfirm"...) and "AXValue" set on
// one are handed over the same way. Called with the desktop locked.
//
// The destination is the program's SimWindowHost when the toolkit runs on this desktop, or the
// connection of a client of the desktop server that shows its windows here.
class SimToolkitRouter final : public SimBehaviour {
public:
    // Each called on the main queue.
    struct Destination {
        // `window`: the program's window the event goes to, if any.
        std::function<void(std::optional<uint32_t> window, const InputEvent& event)> onMouse;
        std::function<void(const AXElement& element, const std::string& action)> onAction;
        // "AXValue" was set on the element.
        std::function<void(const AXElement& element, const AXValue& value)> onSetValue;
        // A key down or up for the program (none: keys are not taken).
        std::function<void(const InputEvent& event)> onKey;
    };

    SimToolkitRouter(ProcessID pid, Destination destination) : m_pid(pid), m_destination(std::make_shared<Destination>(std::move(destination))) { }

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

    // Windows of the program whose click brings the program to the front (not non-activating
    // panels). Any thread.
    void setActivatesOnClick(uint32_t windowNumber, bool activates);

private:
    ProcessID m_pid;
    std::shared_ptr<const Destination> m_destination;
    std::mutex m_mutex;
    std::set<uint32_t> m_activating;
    // Between a press and its release: the window that took the press (none: not the program's).
    bool m_pressed = false;
    std::optional<uint32_t> m_pressedWindow;
};

} // namespace lorvantine
