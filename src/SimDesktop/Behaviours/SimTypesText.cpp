#include "SimDesktop/Behaviours/SimTypesText.h"

#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/Model/SimModel.h"

namespace lorvantine {

namespace {

constexpr uint16_t typedReturn = 36;
constexpr uint16_t typedEnter = 76;

} // namespace

void SimTypesText::onJournalEntry(SimModel& model, const SimJournalEntry& entry)
{
    if (entry.kind != SimJournalEntry::Kind::event || !entry.event || entry.event->type != InputEventType::keyDown)
        return;
    const InputEvent& key = *entry.event;
    if (key.flags & (EventFlags::maskCommand | EventFlags::maskControl))
        return;
    const std::string text = key.keyCode == typedReturn || key.keyCode == typedEnter ? std::string("\n") : key.characters;
    if (text.empty() || !SimInputRouting::keyReaches(model, entry, m_pid))
        return;
    if (SimDocuments::paste(model, m_pid, text))
        model.journal.add({ .kind = SimJournalEntry::Kind::reaction, .event = key, .pid = m_pid, .name = "type", .value = text });
}

} // namespace lorvantine
