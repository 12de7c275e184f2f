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
// they hold words (a short heading).
std::vector<ReadableParagraph> buildParagraphs(const std::vector<RecognizedWord>& words, const Rect& contentRect,
                                               int minParagraphLength);

// Whether a short text is worth reading: four ideographs, or two words written in letters without
// a digit ("四、待办事项", "Our Aims"); a page number ("第 3 页", "- 12 -"), a list mark or a rule
// is not.
bool holdsWords(const std::string& text);

} // namespace OCRParagraphBuilder
} // namespace lorvantine
