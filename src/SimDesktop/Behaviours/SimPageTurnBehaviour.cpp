#include "SimDesktop/Behaviours/SimPageTurnBehaviour.h"

#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/SimDesktop.h"

#include <algorithm>

namespace lorvantine {

SimPageTurnBehaviour::SimPageTurnBehaviour(std::weak_ptr<SimDesktop> desktop, ProcessID pid, SimPaging paging)
    : m_desktop(std::move(desktop))
    , m_pid(pid)
    , m_paging(std::move(paging))
{
}

bool SimPageTurnBehaviour::asksToTurn(SimModel& model, const SimJournalEntry& entry) const
{
    if (entry.kind == SimJournalEntry::Kind::action) {
        if (m_paging.menuItem.empty() || entry.name != "AXPress" || entry.result != AXError::success)
            return false;
        auto item = model.find(m_paging.menuItem);
        return item && model.handle(*item) == entry.element;
    }
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || entry.event->type != InputEventType::keyDown)
        return false;
    if (std::find(m_paging.keys.begin(), m_paging.keys.end(), entry.event->keyCode) == m_paging.keys.end())
        return false;
    // Keys go to the application in front; one posted to a process goes to that process.
    return SimInputRouting::keyReaches(model, entry, m_pid);
}

void SimPageTurnBehaviour::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (!asksToTurn(model, entry))
        return;
    if (m_paging.ignoreFirst && m_requests++ == 0)
        return;
    if (m_paging.delay <= 0) {
        turn(model);
        return;
    }
    // The page changes later, as a page animation ends; the reader polls meanwhile.
    DispatchQueue::global().asyncAfter(seconds(m_paging.delay), [weakSelf = weak_from_this(), weakDesktop = m_desktop] {
        auto self = weakSelf.lock();
        auto desktop = weakDesktop.lock();
        if (self && desktop)
            desktop->withModel([&](SimModel& m) { self->turn(m); });
    });
}

void SimPageTurnBehaviour::turn(SimModel& model)
{
    if (m_page + 1 >= m_paging.pageCount())
        return;
    auto content = model.find(m_paging.content);
    SimNode* node = content ? model.node(*content) : nullptr;
    if (!node)
        return;
    ++m_page;
    if (m_paging.step) {
        model.setScroll(node->id, Point { node->scroll.x + m_paging.step->x, node->scroll.y + m_paging.step->y });
    } else {
        const std::string& text = m_paging.texts[static_cast<size_t>(m_page)];
        model.setText(node->id, text);
        // A picture-only page shows its text to accessibility only through the value it is given.
        if (node->attributes.count("AXValue"))
            node->attributes["AXValue"] = text;
    }
    if (m_paging.unreadableReads > 0)
        if (SimModel::Window* window = model.window(node->window))
            if (SimNode* windowNode = model.node(window->node))
                windowNode->failingReads["AXChildren"] = m_paging.unreadableReads;
    model.journal.push_back({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .element = model.handle(*content),
                              .name = "pageTurned" });
}

} // namespace lorvantine
