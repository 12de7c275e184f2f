#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"

#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace lorvantine {

class SimWindowHost;

// Sends what happens on the desktop to the program's own windows: a mouse event posted at a tap
// goes to the front-most window under the pointer that does not ignore mouse events, except that
// from a press until its release, drags and the release go to the window that took the press,
// wherever the pointer is. When that window is one of the program's, the event is handed to
// SimWindowHost on the main queue (a press on a window that activates brings the program to the
// front at once); every pointer move is reported so tracking areas see the pointer leave.
// Actions performed on an element of the program ("AXPress", "AXConfirm"...) and "AXValue" set on
// one are handed over the same way. Called with the desktop locked.
class SimToolkitRouter final : public SimBehaviour {
public:
    SimToolkitRouter(std::weak_ptr<SimWindowHost> host, ProcessID pid) : m_host(std::move(host)), m_pid(pid) { }

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

    // Windows of the program whose click brings the program to the front (not non-activating
    // panels). Any thread.
    void setActivatesOnClick(uint32_t windowNumber, bool activates);

private:
    std::weak_ptr<SimWindowHost> m_host;
    ProcessID m_pid;
    std::mutex m_mutex;
    std::set<uint32_t> m_activating;
    // Between a press and its release: the window that took the press (none: not the program's).
    bool m_pressed = false;
    std::optional<uint32_t> m_pressedWindow;
};

} // namespace lorvantine
