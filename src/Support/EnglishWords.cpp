#include "Support/EnglishWords.h"

#include "Support/Files.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace lorvantine {

namespace {

constexpr const char* standardListPath = "/usr/share/dict/american-english";
// The American list is about 1 MB; anything far larger is no such list.
constexpr uint64_t largestList = 64u << 20;

// The letters of a token: what lies between its first and last letter ("’m" gives "m", "shallows,"
// gives "shallows").
std::string lettersOf(std::string_view token)
{
    const std::u32string scalars = Text::scalars(token);
    size_t first = 0, last = scalars.size();
    while (first < last && !u_isalpha(static_cast<UChar32>(scalars[first])))
        ++first;
    while (last > first && !u_isalpha(static_cast<UChar32>(scalars[last - 1])))
        --last;
    return Text::fromScalars(std::u32string_view(scalars).substr(first, last - first));
}

bool hasVowel(std::string_view lowered) { return lowered.find_first_of("aeiouy") != std::string_view::npos; }

} // namespace

EnglishWords EnglishWords::load(const std::string& path)
{
    EnglishWords list;
    auto text = Files::readRegularFile(path, largestList);
    if (!text)
        return list;
    for (std::string& line : Text::components(*text, "\n"))
        if (std::string word = Text::trimmingWhitespacesAndNewlines(line); !word.empty())
            list.m_words.push_back(std::move(word));
    std::sort(list.m_words.begin(), list.m_words.end());
    list.m_words.erase(std::unique(list.m_words.begin(), list.m_words.end()), list.m_words.end());
    return list;
}

const EnglishWords& EnglishWords::standard()
{
    static const EnglishWords words = load(standardListPath);
    return words;
}

bool EnglishWords::isWord(std::string_view token) const
{
    const std::string letters = lettersOf(token);
    if (letters.empty())
        return false;
    const std::string lowered = Text::lowercased(letters);
    if (!hasVowel(lowered))
        return false;
    auto holds = [&](std::string_view word) { return std::binary_search(m_words.begin(), m_words.end(), word); };
    // A lower-case token is only its lower-case self: "nd" is not the list's "Nd" (neodymium).
    return holds(letters) || (lowered != letters && holds(lowered));
}

} // namespace lorvantine
