#pragma once

namespace lorvantine {

class SimModel;
struct SimJournalEntry;

// How a simulated application reacts to what the program does (page turns, scrolling, copying).
// Called with the desktop locked, after each journal entry is recorded; it may change the model,
// which posts the matching notifications. Must not call back into the desktop's public API.
class SimBehaviour {
public:
    virtual ~SimBehaviour() = default;
    virtual void onJournalEntry(SimModel& model, const SimJournalEntry& entry) = 0;
};

} // namespace lorvantine
