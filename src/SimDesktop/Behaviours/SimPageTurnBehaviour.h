#pragma once

#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Model/SimPaging.h"
#include "Platform/AXTypes.h"

#include <memory>
#include <optional>

namespace lorvantine {

class SimDesktop;

// A paged reader turning its page: on a turning key posted while it is in front (at either tap,
// or straight to its process) or on a press of its next-page menu item, it shows the next page,
// at once or after its delay on the installed clock; pages side by side may slide across in
// frames, each on the installed clock, before the new one stands still. Every turn is journaled
// as a "pageTurned" reaction on the content element, when it begins.
class SimPageTurnBehaviour final : public SimBehaviour, public std::enable_shared_from_this<SimPageTurnBehaviour> {
public:
    SimPageTurnBehaviour(std::weak_ptr<SimDesktop> desktop, ProcessID pid, SimPaging paging);

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

    // The page shown, from 0. Desktop lock held (called from the model's side).
    int page() const { return m_page; }

private:
    bool asksToTurn(SimModel& model, const SimJournalEntry& entry) const;
    void turn(SimModel& model);
    // Frame `frame` of slide `slide` (from 1; the last shows the page at rest), unless a later
    // turn has begun meanwhile.
    void showSlideFrame(SimModel& model, uint64_t node, int slide, int frame, Point from, Point to);

    std::weak_ptr<SimDesktop> m_desktop;
    ProcessID m_pid;
    SimPaging m_paging;
    // Guarded by the desktop lock.
    int m_page = 0;
    int m_requests = 0;
    // Where the slide under way leaves the pages; a turn meanwhile goes on from there.
    std::optional<Point> m_slidingTo;
    int m_slides = 0;
};

} // namespace lorvantine
