#include "SimDesktop/Behaviours/SimFollowsLinks.h"

#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Model/SimJournalEntry.h"
#include "SimDesktop/Model/SimModel.h"
#include "SimDesktop/Model/SimWebPages.h"
#include "SimDesktop/Text/SimTextSelection.h"

#include <utility>
#include <vector>

namespace lorvantine {

void SimFollowsLinks::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || !entry.tap)
        return;
    switch (entry.event->type) {
    case InputEventType::leftMouseDown:
        m_pressed = linkAt(model, entry.event->location);
        break;
    case InputEventType::leftMouseUp: {
        const uint64_t pressed = std::exchange(m_pressed, 0);
        if (pressed != 0 && linkAt(model, entry.event->location) == pressed)
            follow(model, pressed, entry);
        break;
    }
    default:
        break;
    }
}

uint64_t SimFollowsLinks::linkAt(SimModel& model, Point point) const
{
    const SimModel::Window* window = SimGeometry::windowAt(model, 0, point);
    if (!window || window->pid != m_pid)
        return 0;
    SimNode* hit = model.node(SimGeometry::hitTest(model, m_pid, point));
    // The runs of a paragraph are cut from one layout, and the frame of a run that wraps takes
    // in its neighbours' words: the Character under the pointer says which run it is.
    SimNode* owner = hit && hit->textOwner != 0 ? model.node(hit->textOwner) : hit;
    if (!owner || !owner->text)
        return 0;
    const int64_t index = SimTextSelection::indexAt(model, *owner, point);
    std::vector<uint64_t> pending = owner->children;
    while (!pending.empty()) {
        SimNode* node = model.node(pending.back());
        pending.pop_back();
        if (!node)
            continue;
        const AXRange slice = node->textSlice;
        const bool under = index >= slice.location && index < slice.location + slice.length;
        const auto frame = SimGeometry::frame(model, *node);
        if (under && node->role == "AXLink" && node->attributes.count("AXURL") && frame && frame->contains(point))
            return node->id;
        pending.insert(pending.end(), node->children.begin(), node->children.end());
    }
    return 0;
}

void SimFollowsLinks::follow(SimModel& model, uint64_t link, const SimJournalEntry& cause)
{
    const SimNode* node = model.node(link);
    const AXURL* address = node ? axGet<AXURL>(node->attributes.at("AXURL")) : nullptr;
    const SimModel::Application* browser = model.application(m_pid);
    if (!address || !browser || !browser->info.bundleIdentifier)
        return;
    const SimInstalledApplication* installed = SimDocuments::installed(model, *browser->info.bundleIdentifier);
    if (!installed)
        return;
    // Both outlive the link, which goes with the page it is on.
    const std::string url = address->string;
    const uint32_t number = node->window;
    const SimModel::Window* window = model.window(number);
    if (!window)
        return;
    const SimWindow page = SimWebPages::pageWindow(*installed, url);
    const uint64_t windowNode = window->node;
    const std::vector<uint64_t> old = model.node(windowNode)->children;
    for (uint64_t child : old)
        model.removeElement(child);
    for (const SimElement& child : page.children)
        model.addElement(windowNode, child);
    model.setWindowTitle(number, page.title);
    model.setFrontmost(m_pid);
    model.record({ .kind = SimJournalEntry::Kind::reaction, .event = cause.event, .pid = m_pid,
                   .element = model.handle(windowNode), .name = "followLink", .value = url });
}

} // namespace lorvantine
