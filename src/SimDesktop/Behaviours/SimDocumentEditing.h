#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Model/SimInstalledApplication.h"

namespace lorvantine {

// An application with documents (its catalogue entry has a "document"): Command+N opens a new,
// empty document window, Command+V pastes the pasteboard's text into the focused text, Command+W
// closes its front window. A browser (a catalogue of pages, no document) only closes its front tab. The keys count when posted at a tap while it is frontmost, or posted to
// its process. Journaled as "newDocument", "paste" and "closeWindow" reactions. Called with the
// desktop locked.
class SimDocumentEditing final : public SimBehaviour {
public:
    SimDocumentEditing(ProcessID pid, std::optional<SimDocumentTemplate> document) : m_pid(pid), m_document(std::move(document)) {}

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    ProcessID m_pid;
    std::optional<SimDocumentTemplate> m_document;
};

} // namespace lorvantine
