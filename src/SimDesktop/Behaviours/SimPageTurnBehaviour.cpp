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
        const Point from = m_slidingTo.value_or(node->scroll);
        const Point to { from.x + m_paging.step->x, from.y + m_paging.step->y };
        if (m_paging.slideFrames == 0) {
            model.setScroll(node->id, to);
        } else {
            m_slidingTo = to;
            const int slide = ++m_slides;
            for (int frame = 1; frame <= m_paging.slideFrames; ++frame)
                DispatchQueue::global().asyncAfter(
                    seconds(m_paging.slideSeconds * frame / m_paging.slideFrames),
                    [weakSelf = weak_from_this(), weakDesktop = m_desktop, id = node->id, slide, frame, from, to] {
                        auto self = weakSelf.lock();
                        auto desktop = weakDesktop.lock();
                        if (self && desktop)
                            desktop->withModel([&](SimModel& m) { self->showSlideFrame(m, id, slide, frame, from, to); });
                    });
        }
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
    model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .element = model.handle(*content),
                        .name = "pageTurned" });
}

void SimPageTurnBehaviour::showSlideFrame(SimModel& model, uint64_t node, int slide, int frame, Point from, Point to)
{
    if (slide != m_slides)
        return;
    if (frame == m_paging.slideFrames)
        m_slidingTo.reset();
    const double done = static_cast<double>(frame) / m_paging.slideFrames;
    model.setScroll(node, Point { from.x + (to.x - from.x) * done, from.y + (to.y - from.y) * done });
}

} // namespace lorvantine
