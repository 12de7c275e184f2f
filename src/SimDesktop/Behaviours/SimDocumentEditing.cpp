#include "SimDesktop/Behaviours/SimDocumentEditing.h"

#include "Platform/PasteboardPort.h"
#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/Model/SimModel.h"

namespace lorvantine {

namespace {

constexpr uint16_t keyN = 45;
constexpr uint16_t keyV = 9;
constexpr uint16_t keyW = 13;
constexpr uint64_t editingModifiers = EventFlags::maskCommand | EventFlags::maskAlternate | EventFlags::maskControl
    | EventFlags::maskShift;

std::optional<std::string> pasteboardText(const SimModel& model)
{
    for (const PasteboardItem& item : model.pasteboard)
        for (const auto& [type, data] : item.representations)
            if (type == PasteboardType::string)
                return data;
    return std::nullopt;
}

} // namespace

void SimDocumentEditing::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || entry.event->type != InputEventType::keyDown)
        return;
    if ((entry.event->flags & editingModifiers) != EventFlags::maskCommand)
        return;
    if (!SimInputRouting::keyReaches(model, entry, m_pid))
        return;
    const uint16_t key = entry.event->keyCode;
    if (key == keyN && m_document) {
        const uint32_t number = SimDocuments::open(model, m_pid, *m_document, "Untitled", "");
        model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .name = "newDocument",
                            .value = static_cast<int64_t>(number) });
    } else if (key == keyV && m_document) {
        auto text = pasteboardText(model);
        if (text && SimDocuments::paste(model, m_pid, *text))
            model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .name = "paste", .value = *text });
    } else if (key == keyW) {
        const uint32_t number = model.mainWindow(m_pid);
        if (number != 0 && model.closeWindow(number))
            model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .pid = m_pid, .name = "closeWindow",
                                .value = static_cast<int64_t>(number) });
    }
}

} // namespace lorvantine
