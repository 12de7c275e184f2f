#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine::speechserver {

// Chooses how much of a request text one answer speaks. All cuts fall on Character
// (grapheme cluster) boundaries, so a multi-byte character is never split.
namespace Segmenter {

inline constexpr std::size_t defaultMaxCharacters = 120;

struct Split {
    std::string spoken;  // the prefix exactly as it stands in the input (untrimmed)
    std::string rest;    // everything after it, untrimmed
};

// The first sentence (ended by . ! ? 。 ！ ？ plus closing quotes), or when no sentence ends
// within maxCharacters, the longest prefix of at most maxCharacters that ends at a word
// boundary (white space or a comma-like mark); a hard cut only when there is none.
Split splitPrefix(std::string_view text, std::size_t maxCharacters = defaultMaxCharacters);

// Leading and trailing Unicode white space (line breaks included) removed.
std::string trim(std::string_view text);

// The words of a text for timing purposes: runs of non-space characters without their
// leading and trailing punctuation, every ideograph a word of its own.
std::vector<std::string> words(std::string_view text);

std::size_t characterCount(std::string_view text);

}

}
