#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// The words of English as a plain word list holds them, one a line (Debian's wamerican). It tells
// a word standing on its own from a piece of one: the rest of a word whose initial a scan shows
// apart ("n" after a large "I"). Immutable once made, so one list serves every thread.
class EnglishWords {
public:
    // The words in the list at `path`; a list that cannot be read knows no word.
    static EnglishWords load(const std::string& path);
    // The system's American English list, read once, when first asked for.
    static const EnglishWords& standard();

    // Whether `token` is a word of prose as a page shows it (the punctuation around it left out):
    // the list holds it as written, or in lower case when it is written with capitals ("Heron",
    // "HERON"), and it has a vowel. Entries without one are the names of letters, abbreviations
    // and interjections ("n", "ts", "psst"), which prose never sets on their own after an initial.
    bool isWord(std::string_view token) const;
    bool empty() const { return m_words.empty(); }

private:
    std::vector<std::string> m_words; // sorted, byte-wise
};

} // namespace lorvantine
