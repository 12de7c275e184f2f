#pragma once

#include "Documents/RecognizedWord.h"
#include "Documents/ReadableParagraph.h"

#include <vector>

namespace lorvantine {

// Turns the words recognised in a window picture into paragraphs to read: screen lines, cut into
// paragraphs where the gap between lines is a paragraph gap, paragraphs of more than 8 lines cut
// again, each carrying the box of every word for highlighting. Pure; any thread.
namespace OCRParagraphBuilder {

// `words` in reading order, as recognition gives them (a column's lines before the next column's);
// `contentRect` the rectangle that was recognised (global screen points).
// Paragraphs shorter than `minParagraphLength` Characters are dropped and take no index.
std::vector<ReadableParagraph> buildParagraphs(const std::vector<RecognizedWord>& words, const Rect& contentRect,
                                               int minParagraphLength);

} // namespace OCRParagraphBuilder
} // namespace lorvantine
