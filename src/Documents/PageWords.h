#pragma once

#include "Documents/RecognizedWord.h"
#include "Accessibility/OCRWordEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the book sources (Kindle, Books) do alike with the recognised words of one page. Pure.
namespace PageWords {

// A text's first word: its leading run of Characters that are neither white space nor line breaks.
std::string firstWord(const std::string& text);

// A large initial letter that recognition cut off: the first recognised word is replaced by the
// page's own first word when that one is longer by at most three Characters and ends with it,
// compared without case. Returns the replaced word (the words are changed in place), or none.
std::optional<std::string> repairDropCap(std::vector<RecognizedWord>& words, const std::string& pageFirstWord);

// The page text (the words joined by one space) and an entry per word spanning its Characters.
struct Joined {
    std::string text;
    std::vector<OCRWordEntry> entries;
};
Joined join(const std::vector<RecognizedWord>& words);

// Screen lines, top to bottom, each left to right, as the paragraph builder forms them: a word
// joins the line when its centre lies closer to that of the word added last than 0.6 of the taller
// one's height. Taken top to bottom, so that a narrow column read on its own (line numbers) joins
// the text beside it.
std::vector<std::vector<RecognizedWord>> linesTopToBottom(std::vector<RecognizedWord> words);

// The union of the words' rectangles (a zero rectangle for none).
Rect unionOf(const std::vector<RecognizedWord>& words);

// A whole number for a log line: the fraction dropped toward zero.
std::string truncated(double value);

} // namespace PageWords
} // namespace lorvantine
