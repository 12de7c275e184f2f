#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Text/SimTextSelection.h"

namespace lorvantine {

// An application whose texts the user selects with the mouse (fixture: "selectsText"). A press in
// one of its windows, posted at a tap, brings it to the front and raises the window; on a text it
// focuses that text and selects by the click count — a caret for a single click, the word for a
// double click, the paragraph for a triple click — through the text's layout. Drags and the
// release extend the selection from there by the same unit, wherever the pointer goes. Each
// change is journaled as a "select" reaction. Called with the desktop locked.
class SimSelectsText final : public SimBehaviour {
public:
    explicit SimSelectsText(ProcessID pid) : m_pid(pid) {}

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    void press(SimModel& model, const SimJournalEntry& entry);
    void extend(SimModel& model, const SimJournalEntry& entry);
    void select(SimModel& model, SimNode& node, AXRange range, const SimJournalEntry& cause);

    ProcessID m_pid;
    // From a press on one of its texts until the release.
    uint64_t m_pressed = 0;
    AXRange m_anchor;
    SimTextSelection::Granularity m_granularity = SimTextSelection::Granularity::character;
};

} // namespace lorvantine
