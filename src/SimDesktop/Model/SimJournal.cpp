#include "SimDesktop/Model/SimJournal.h"

#include <type_traits>
#include <utility>

namespace lorvantine {

namespace {

size_t heapBytes(const std::string& text) { return text.size(); }

size_t heapBytes(const AXValue& value)
{
    return std::visit(
        [](const auto& held) -> size_t {
            using T = std::decay_t<decltype(held)>;
            if constexpr (std::is_same_v<T, std::string>) {
                return heapBytes(held);
            } else if constexpr (std::is_same_v<T, AXURL>) {
                return heapBytes(held.string);
            } else if constexpr (std::is_same_v<T, std::vector<AXElement>>) {
                return held.size() * sizeof(AXElement);
            } else if constexpr (std::is_same_v<T, std::vector<std::string>>) {
                size_t bytes = 0;
                for (const std::string& text : held)
                    bytes += sizeof(std::string) + heapBytes(text);
                return bytes;
            } else if constexpr (std::is_same_v<T, AXAttributedString>) {
                size_t bytes = heapBytes(held.string);
                for (const AXAttributeRun& run : held.runs) {
                    bytes += sizeof(AXAttributeRun);
                    for (const auto& [name, text] : run.attributes)
                        bytes += 2 * sizeof(std::string) + heapBytes(name) + heapBytes(text);
                }
                return bytes;
            } else {
                return 0;
            }
        },
        value);
}

// The memory one entry takes, its text included.
size_t footprint(const SimJournalEntry& entry)
{
    return sizeof(SimJournalEntry) + heapBytes(entry.name) + heapBytes(entry.value)
        + (entry.event ? heapBytes(entry.event->characters) : 0);
}

} // namespace

void SimJournal::add(SimJournalEntry entry)
{
    m_bytes += footprint(entry);
    m_entries.push_back(std::move(entry));
    while (m_entries.size() > 1 && (m_entries.size() > maxEntries || m_bytes > maxBytes)) {
        m_bytes -= footprint(m_entries.front());
        m_entries.pop_front();
    }
}

void SimJournal::clear()
{
    m_entries.clear();
    m_bytes = 0;
}

} // namespace lorvantine
