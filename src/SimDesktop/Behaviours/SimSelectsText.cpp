#include "SimDesktop/Behaviours/SimSelectsText.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimJournalEntry.h"
#include "SimDesktop/Model/SimModel.h"

#include <algorithm>

namespace lorvantine {

namespace {

// The selectable text at `point` from the element hit there: the element, the text a run belongs
// to, or a text below an element that hides its content from hit testing (an image-only page).
SimNode* selectableTextAt(SimModel& model, uint64_t id, Point point)
{
    SimNode* node = model.node(id);
    if (!node)
        return nullptr;
    if (node->textOwner != 0)
        return model.node(node->textOwner);
    if (node->isSelectable())
        return node;
    for (uint64_t child : node->children) {
        SimNode* c = model.node(child);
        if (!c)
            continue;
        auto frame = SimGeometry::frame(model, *c);
        if (frame && frame->contains(point))
            if (SimNode* found = selectableTextAt(model, child, point))
                return found;
    }
    return nullptr;
}

AXRange spanning(AXRange a, AXRange b)
{
    const int64_t begin = std::min(a.location, b.location);
    const int64_t end = std::max(a.location + a.length, b.location + b.length);
    return AXRange { begin, end - begin };
}

} // namespace

void SimSelectsText::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || !entry.tap)
        return;
    switch (entry.event->type) {
    case InputEventType::leftMouseDown:
        press(model, entry);
        break;
    case InputEventType::leftMouseDragged:
    case InputEventType::leftMouseUp:
        extend(model, entry);
        if (entry.event->type == InputEventType::leftMouseUp)
            m_pressed = 0;
        break;
    default:
        break;
    }
}

void SimSelectsText::press(SimModel& model, const SimJournalEntry& entry)
{
    m_pressed = 0;
    const Point at = entry.event->location;
    const SimModel::Window* window = SimGeometry::windowAt(model, 0, at);
    if (!window || window->pid != m_pid)
        return;
    const uint32_t number = window->number;
    model.setFrontmost(m_pid);
    if (model.mainWindow(m_pid) != number)
        model.raiseWindow(number);
    SimNode* text = selectableTextAt(model, SimGeometry::hitTest(model, m_pid, at), at);
    if (!text)
        return;
    if (SimModel::Application* app = model.application(m_pid); app && app->focusedElement != text->id) {
        app->focusedElement = text->id;
        model.post(text->id, "AXFocusedUIElementChanged");
    }
    const int64_t clicks = entry.event->clickCount;
    m_granularity = clicks >= 3 ? SimTextSelection::Granularity::paragraph
        : clicks == 2           ? SimTextSelection::Granularity::word
                                : SimTextSelection::Granularity::character;
    if (m_granularity == SimTextSelection::Granularity::character)
        m_anchor = AXRange { SimTextSelection::caretAt(model, *text, at), 0 };
    else
        m_anchor = SimTextSelection::unitAt(SimGeometry::layout(model, *text), SimTextSelection::indexAt(model, *text, at),
                                            m_granularity);
    m_pressed = text->id;
    select(model, *text, m_anchor, entry);
}

void SimSelectsText::extend(SimModel& model, const SimJournalEntry& entry)
{
    SimNode* text = m_pressed ? model.node(m_pressed) : nullptr;
    if (!text)
        return;
    const Point at = entry.event->location;
    AXRange range;
    if (m_granularity == SimTextSelection::Granularity::character)
        range = spanning(m_anchor, AXRange { SimTextSelection::caretAt(model, *text, at), 0 });
    else
        range = spanning(m_anchor, SimTextSelection::unitAt(SimGeometry::layout(model, *text),
                                                            SimTextSelection::indexAt(model, *text, at), m_granularity));
    select(model, *text, range, entry);
}

void SimSelectsText::select(SimModel& model, SimNode& node, AXRange range, const SimJournalEntry& cause)
{
    if (SimTextSelection::current(node) == range)
        return;
    if (!SimTextSelection::select(model, node, range))
        return;
    model.record({ .kind = SimJournalEntry::Kind::reaction, .event = cause.event, .pid = m_pid,
                   .element = model.handle(node), .name = "select", .value = range });
}

} // namespace lorvantine
