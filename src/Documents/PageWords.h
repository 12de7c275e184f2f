#pragma once

#include "Documents/RecognizedWord.h"
#include "Accessibility/OCRWordEntry.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// What the book sources (Kindle, Books) do alike with the recognised words of one page. Pure, but
// for the English word list, read once on first need and shared by every thread.
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
// goes into it. Before all that, and where the page has no text (a scan), an initial is told by
// its size: a capital letter alone, over two of the page's lines tall, goes into the word beside
// its top, wherever recognition put it; A, I and O only when that word is no English word by
// itself ("I" "n", not "A" "heron"), on a page of English, and otherwise stand before it. The
// words are changed in place; answers the mends, those told by size first, each kind in page
// order.
std::vector<DropCapMend> repairDropCaps(std::vector<RecognizedWord>& words, const std::vector<std::string>& paragraphs);

// A large initial drawn as a picture: the page's text has its letter only as the picture's
// description, and recognition often reads the picture as an ornament, not as a letter.
struct PicturedInitial {
    std::string letter; // the picture's description
    std::string text;   // the text that follows the picture on the page, as it is
    Rect frame;         // the picture on screen
};
// Puts each pictured initial's letter where it stands: as a word of its own before the word
// beside the picture when the text after it begins with white space ("A", " heron stood") or, as
// on a scan, when it is A, I or O before a whole word; into that word otherwise ("T", "he ferry").
// The word beside is the text's first word, recognised at the top of the picture's right side.
// Where the text begins with the letter already, or recognition read the picture as anything but
// the letter, the words stay as read. Answers the mends; a letter put in as a word of its own is
// mended from "".
std::vector<DropCapMend> repairPicturedInitials(std::vector<RecognizedWord>& words, const std::vector<PicturedInitial>& initials);

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

// Words as a reader counts them: recognition reports a line of Chinese as one run without spaces,
// in which every ideograph is a word.
size_t wordCount(const std::vector<RecognizedWord>& words);

// The height of the words' lines: the middle one of their heights (0 for none).
double medianHeight(const std::vector<RecognizedWord>& words);

// The union of the words' rectangles (a zero rectangle for none).
Rect unionOf(const std::vector<RecognizedWord>& words);

// A whole number for a log line: the fraction dropped toward zero.
std::string truncated(double value);

} // namespace PageWords
} // namespace lorvantine
