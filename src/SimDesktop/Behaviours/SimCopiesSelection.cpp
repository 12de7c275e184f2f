#include "SimDesktop/Behaviours/SimCopiesSelection.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/PasteboardPort.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/Model/SimJournalEntry.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Text/SimTextSelection.h"

namespace lorvantine {

namespace {

constexpr uint16_t keyC = 8;
constexpr uint64_t commandOptionControl = EventFlags::maskCommand | EventFlags::maskAlternate | EventFlags::maskControl;
// A 1 × 1 PNG: something on the pasteboard that is not text.
const std::string copiedPicture("\x89PNG\r\n\x1a\n", 8);

// What the copy will write: none when the focused text has nothing selected.
std::optional<PasteboardItem> copiedItem(SimModel& model, ProcessID pid, SimBehaviourOptions::Copy::Content content)
{
    SimModel::Application* app = model.application(pid);
    SimNode* focused = app ? model.node(app->focusedElement) : nullptr;
    if (!focused)
        return std::nullopt;
    const std::string text = SimTextSelection::selectedText(model, *focused);
    if (text.empty())
        return std::nullopt;
    PasteboardItem item;
    if (content == SimBehaviourOptions::Copy::Content::image)
        item.representations.emplace_back("public.png", copiedPicture);
    else
        item.representations.emplace_back(PasteboardType::string, text);
    return item;
}

void writeItem(SimModel& model, ProcessID pid, const PasteboardItem& item)
{
    model.pasteboard.push_back(item);
    const auto& [type, data] = item.representations.front();
    model.record({ .kind = SimJournalEntry::Kind::reaction, .pid = pid, .name = "copy.write",
                   .value = type == PasteboardType::string ? data : type });
}

// Clears now and writes now or after the pause.
void clearAndWrite(SimModel& model, std::weak_ptr<SimDesktop> desktop, ProcessID pid, SimBehaviourOptions::Copy options)
{
    auto item = copiedItem(model, pid, options.content);
    if (!item)
        return;
    model.pasteboard.clear();
    ++model.pasteboardChangeCount;
    model.record({ .kind = SimJournalEntry::Kind::reaction, .pid = pid, .name = "copy.clear" });
    if (options.pause <= Duration::zero()) {
        writeItem(model, pid, *item);
        return;
    }
    DispatchQueue::global().asyncAfter(options.pause, [desktop, pid, item = *item] {
        if (auto d = desktop.lock())
            d->withModel([&](SimModel& m) { writeItem(m, pid, item); });
    });
}

} // namespace

void SimCopiesSelection::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || entry.event->type != InputEventType::keyDown)
        return;
    if (entry.event->keyCode != keyC || (entry.event->flags & commandOptionControl) != EventFlags::maskCommand)
        return;
    if (!SimInputRouting::keyReaches(model, entry, m_pid) || m_options.ignoresShortcut)
        return;
    if (m_options.delay <= Duration::zero()) {
        clearAndWrite(model, m_desktop, m_pid, m_options);
        return;
    }
    DispatchQueue::global().asyncAfter(m_options.delay, [desktop = m_desktop, pid = m_pid, options = m_options] {
        if (auto d = desktop.lock())
            d->withModel([&](SimModel& m) { clearAndWrite(m, desktop, pid, options); });
    });
}

} // namespace lorvantine
