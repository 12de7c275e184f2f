#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"

namespace lorvantine {

// A browser that follows the links of its pages (a running application whose installed entry
// holds a catalogue of pages). A click on a link in one of its windows, posted at a tap (the
// press and the release on the same link), brings it to the front and shows the page of the
// link's address in that window, as a tab does when it goes to another page: the window keeps its
// number and frame, takes the page's title, and its content is the page's. An address outside the
// catalogue shows the error page. Journaled as a "followLink" reaction with the address. Called
// with the desktop locked.
class SimFollowsLinks final : public SimBehaviour {
public:
    explicit SimFollowsLinks(ProcessID pid) : m_pid(pid) {}

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    // The link at `point` in one of the browser's windows; 0 when there is none.
    uint64_t linkAt(SimModel& model, Point point) const;
    void follow(SimModel& model, uint64_t link, const SimJournalEntry& cause);

    ProcessID m_pid;
    // From a press on a link until the release.
    uint64_t m_pressed = 0;
};

} // namespace lorvantine
