#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"

namespace lorvantine {

// An application the user types into (fixture: "typesText"). A key that types text, posted at a
// tap while the application has the keys or posted to its process, puts that text in place of the
// selection of its focused text and leaves the caret after it; Return and Enter put a line break.
// Keys with Command or Control type nothing. Journaled as a "type" reaction with the text. Called
// with the desktop locked.
class SimTypesText final : public SimBehaviour {
public:
    explicit SimTypesText(ProcessID pid) : m_pid(pid) {}

    void onJournalEntry(SimModel& model, const SimJournalEntry& entry) override;

private:
    ProcessID m_pid;
};

} // namespace lorvantine
