#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Model/SimKeyScrolling.h"

namespace lorvantine {

// A document scrolled by Page Down: a scrolling key posted to the process (or at a tap while the
// application is in front) moves the scroll area's content down by the fixture's step, clamped
// at the end of the content. The drawn window follows, so a capture shows the new screen. Each
// press that moves the content is journaled as a "scrolled" action on the area. Called with the
// desktop lock held, like every behaviour.
class SimPageDownBehaviour final : public SimBehaviour {
public:
    SimPageDownBehaviour(ProcessID pid, SimKeyScrolling scrolling);

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    bool asksToScroll(SimModel& model, const SimJournalEntry& entry) const;

    ProcessID m_pid;
    SimKeyScrolling m_scrolling;
};

} // namespace lorvantine
