#pragma once

#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine::test {

// What the reading session asked of the overlay and the mini player, in order, one entry per
// call ("overlay.setCurrent 2", "mini.setProgress 3/12"). Any thread.
class PanelJournal {
public:
    static void record(std::string entry);
    static std::vector<std::string> entries();
    // Entries that begin with `prefix`.
    static std::vector<std::string> entriesStartingWith(std::string_view prefix);
    static void clear();
};

} // namespace lorvantine::test
