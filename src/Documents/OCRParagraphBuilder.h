#pragma once

#include "Documents/RecognizedWord.h"
#include "Documents/ReadableParagraph.h"

#include <string>
#include <vector>

namespace lorvantine {

// Turns the words recognised in a window picture into paragraphs to read: screen lines, cut into
// paragraphs where the gap between lines is a paragraph gap, paragraphs of more than 8 lines cut
// again, each carrying the box of every word for highlighting. Pure; any thread.
namespace OCRParagraphBuilder {

// `words` in reading order, as recognition gives them (a column's lines before the next column's);
// `contentRect` the rectangle that was recognised (global screen points).
// Paragraphs shorter than `minParagraphLength` Characters are dropped and take no index, unless
// they hold words (a heading, a salutation, a signature, a one-word reply).
std::vector<ReadableParagraph> buildParagraphs(const std::vector<RecognizedWord>& words, const Rect& contentRect,
                                               int minParagraphLength);

// Whether a short text is worth reading: it holds a word of two letters or digits or more
// ("Regards,", "Yes.", "Priya", "Q3 2026"), two ideographs ("第一章") or one that ends a sentence
// ("好。"), and is no page number ("3", "- 12 -", "Page 3", "第 3 页", "iv"). A rule, a list mark
// or a stray mark holds none.
bool holdsWords(const std::string& text);

} // namespace OCRParagraphBuilder
} // namespace lorvantine
