#pragma once

#include "SimDesktop/Model/SimJournalEntry.h"

#include <cstddef>
#include <deque>

namespace lorvantine {

// What the program did to the desktop, oldest first, for tests and runners to assert on. A
// desktop may serve for days (the shared desktop, the application driven by a controller), so
// the journal keeps only the latest entries, within a count and a size: a reader looks at what
// the steps it just took left, and the oldest entries go first. The newest entry is always kept,
// whatever its size. Not thread-safe: SimModel's owner locks it.
class SimJournal {
public:
    static constexpr size_t maxEntries = 4096;
    // The size of the entries kept, counting the text they hold (scripts, pasted text, names).
    static constexpr size_t maxBytes = size_t(4) << 20;

    void add(SimJournalEntry entry);
    void clear();

    const std::deque<SimJournalEntry>& entries() const { return m_entries; }

private:
    std::deque<SimJournalEntry> m_entries;
    size_t m_bytes = 0;
};

} // namespace lorvantine
