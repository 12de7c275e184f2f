#include "SimDesktop/Behaviours/SimPageDownBehaviour.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/Model/SimModel.h"
#include "SimDesktop/Model/SimScrolling.h"

#include <algorithm>

namespace lorvantine {

SimPageDownBehaviour::SimPageDownBehaviour(ProcessID pid, SimKeyScrolling scrolling)
    : m_pid(pid)
    , m_scrolling(std::move(scrolling))
{
}

bool SimPageDownBehaviour::asksToScroll(SimModel& model, const SimJournalEntry& entry) const
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || entry.event->type != InputEventType::keyDown)
        return false;
    const auto& keys = m_scrolling.keys;
    if (std::find(keys.begin(), keys.end(), entry.event->keyCode) == keys.end())
        return false;
    return SimInputRouting::keyReaches(model, entry, m_pid);
}

void SimPageDownBehaviour::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (!asksToScroll(model, entry))
        return;
    auto areaID = model.find(m_scrolling.area);
    SimNode* area = areaID ? model.node(*areaID) : nullptr;
    if (!area)
        return;
    auto viewport = SimGeometry::frame(model, *area);
    if (!viewport)
        return;
    const double before = area->scroll.y;
    // The shared scroll keeps the content within its range and the scroll bar's value with it.
    SimScrolling::scrollBy(model, *area, m_scrolling.step.value_or(viewport->height()));
    if (area->scroll.y == before)
        return;
    model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .element = model.handle(*area),
                        .name = "scrolled" });
}

} // namespace lorvantine
