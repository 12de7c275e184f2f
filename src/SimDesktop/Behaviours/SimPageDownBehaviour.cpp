#include "SimDesktop/Behaviours/SimPageDownBehaviour.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimModel.h"

#include <algorithm>

namespace lorvantine {

SimPageDownBehaviour::SimPageDownBehaviour(ProcessID pid, SimScrolling scrolling)
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
    if (!entry.tap)
        return entry.pid == m_pid;
    const SimModel::Application* front = model.frontmost();
    return front && front->info.pid == m_pid;
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
    // The content's extent in the area's own coordinates, whatever the current offset.
    double contentBottom = 0;
    for (uint64_t id : area->children) {
        SimNode* child = model.node(id);
        if (!child || child->role == "AXScrollBar")
            continue;
        if (auto f = SimGeometry::frame(model, *child))
            contentBottom = std::max(contentBottom, f->maxY() - viewport->minY() + area->scroll.y);
    }
    const double limit = std::max(0.0, contentBottom - viewport->height());
    const double step = m_scrolling.step.value_or(viewport->height());
    const double target = std::clamp(area->scroll.y + step, 0.0, limit);
    if (target == area->scroll.y)
        return;
    model.setScroll(area->id, Point { area->scroll.x, target });
    model.journal.push_back({ .kind = SimJournalEntry::Kind::action, .pid = m_pid, .element = model.handle(*area),
                              .name = "scrolled" });
}

} // namespace lorvantine
