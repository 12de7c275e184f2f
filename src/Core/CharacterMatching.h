#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Comparison of Characters (grapheme clusters) the way the system's text searches compare them:
// canonically equivalent spellings are equal ("é" precomposed or as e + U+0301), and, where
// asked, without regard to case. Each Character gets a key; equal keys mean equal Characters.
// Stateless; any thread.
namespace CharacterMatching {

// NFC of the Character.
std::string canonicalKey(std::string_view character);
// NFC of the Character's full case folding.
std::string caseFoldedKey(std::string_view character);

std::vector<std::string> canonicalKeys(const std::vector<std::string>& characters);
std::vector<std::string> caseFoldedKeys(const std::vector<std::string>& characters);

// A Character whose first scalar is in one of the Unicode punctuation categories.
bool isPunctuation(std::string_view character);
// "\n", or the CR LF pair, which is one Character.
bool isLineFeed(std::string_view character);

// The first index at or after `from` where `needle` occurs in `haystack` as a run of whole
// Characters (compared by key); none for an empty needle.
std::ptrdiff_t find(const std::vector<std::string>& haystack, const std::vector<std::string>& needle, size_t from);

} // namespace CharacterMatching
} // namespace lorvantine
