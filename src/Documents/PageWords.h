#pragma once

#include "Documents/RecognizedWord.h"
#include "Accessibility/OCRWordEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the book sources (Kindle, Books) do alike with the recognised words of one page. Pure.
namespace PageWords {

// A large initial letter that recognition cut off: the first recognised word is replaced by the
// page's own first word when that one is longer by at most three Characters and ends with it,
// compared without case. Returns the replaced word (the words are changed in place), or none.
std::optional<std::string> repairDropCap(std::vector<RecognizedWord>& words, const std::string& pageFirstWord);

struct DropCapMend {
    std::string recognised; // as recognition read it
    std::string mended;     // the word whole
};
// The same for every paragraph of the page, wherever it begins (a chapter may open part-way down
// a page): `paragraphs` are the page's own texts in page order. A paragraph's first word mends
// the recognised word that is followed by the paragraph's second word (compared without case);
// the first paragraph's also mends the page's first recognised word, as `repairDropCap` does.
// An initial drawn large that recognition read as a word of its own just before the mended word
// goes into it. Where the page has no text (a scan), a capital letter alone, over two lines tall,
// with a word at the top of its right side is that word's initial (but A, I and O, which are
// words themselves). The words are changed in place; answers the mends, those told by
// the page's text first, each kind in page order.
std::vector<DropCapMend> repairDropCaps(std::vector<RecognizedWord>& words, const std::vector<std::string>& paragraphs);

// A text's paragraphs: its lines, trimmed, the blank ones left out.
std::vector<std::string> paragraphsOf(const std::string& text);

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
