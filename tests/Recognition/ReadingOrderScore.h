#pragma once

#include "Support/Text.h"

#include <algorithm>
#include <string>
#include <vector>

namespace lorvantine::testing {

// How much of a document a reading gives in the document's order: the longest run of its
// Characters that the reading holds in that order, though not side by side (the longest common
// subsequence), over the document's Characters, white space left out of both. A reading that
// misses or mistakes a Character loses it alone; one that takes the lines of two columns
// alternately keeps little more than one column's worth.
inline double charactersInOrder(const std::string& reading, const std::string& document)
{
    std::vector<std::string> read, written;
    for (const std::string& character : Text::characters(reading)) {
        if (!Text::isWhitespaceCharacter(character))
            read.push_back(character);
    }
    for (const std::string& character : Text::characters(document)) {
        if (!Text::isWhitespaceCharacter(character))
            written.push_back(character);
    }
    if (written.empty())
        return read.empty() ? 1 : 0;
    std::vector<size_t> previous(written.size() + 1), current(written.size() + 1);
    for (const std::string& character : read) {
        for (size_t j = 1; j <= written.size(); ++j)
            current[j] = character == written[j - 1] ? previous[j - 1] + 1 : std::max(previous[j], current[j - 1]);
        std::swap(previous, current);
    }
    return static_cast<double>(previous.back()) / static_cast<double>(written.size());
}

} // namespace lorvantine::testing
