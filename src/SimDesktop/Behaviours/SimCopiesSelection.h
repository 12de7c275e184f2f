#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Behaviours/SimBehaviourOptions.h"

#include <memory>

namespace lorvantine {

class SimDesktop;

// An application that copies its selection on Command+C (fixture: "copy"). When the key goes to it
// (posted at a tap while it is frontmost, or posted to its process) and its focused text has a
// selection, it clears the pasteboard and writes the selected text as plain text — one change of
// the change count — or, with content "image", a picture that holds no text. The clear comes after
// `delay` and the write `pause` after the clear, both on the installed clock (a delayed step runs
// off the main queue, as another process would); without either, both happen as the key is posted.
// An application that ignores the shortcut does nothing. The clear and the write are journaled as
// "copy.clear" and "copy.write" reactions. Called with the desktop locked.
class SimCopiesSelection final : public SimBehaviour {
public:
    SimCopiesSelection(std::weak_ptr<SimDesktop> desktop, ProcessID pid, SimBehaviourOptions::Copy options)
        : m_desktop(std::move(desktop)), m_pid(pid), m_options(options) {}

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    std::weak_ptr<SimDesktop> m_desktop;
    ProcessID m_pid;
    SimBehaviourOptions::Copy m_options;
};

} // namespace lorvantine
