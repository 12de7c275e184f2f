#pragma once

#include "Accessibility/ArticleParagraph.h"

#include <vector>

namespace lorvantine {

// A paragraph taken apart into its words and screen lines and put together again, for joining the
// parts of a paragraph that two screens showed, or cutting off the part already read. Recognised
// paragraphs (with word boxes) keep a box per word; any other paragraph counts as one line standing
// in its frame. Pure; any thread.
namespace ParagraphWords {

// The paragraph's words in text order: its word boxes, or its text cut at white space, each word
// standing in the paragraph's frame.
std::vector<OCRWordEntry> words(const ArticleParagraph& paragraph);

// A run of consecutive words on one screen line: `words[begin..<end]`, with their united box.
struct Line {
    size_t begin = 0;
    size_t end = 0;
    Rect box;
};
// Words follow one another on a line while their vertical centres stay within 0.6 of the taller
// one's height, as the paragraph builder forms lines.
std::vector<Line> lines(const std::vector<OCRWordEntry>& words);

// `model` with the text of `words` (joined with one space), their boxes and spans, and the union
// of their boxes as its frame (the tight frame moved with it); the other members as in `model`.
// A paragraph without word boxes gets none.
ArticleParagraph rebuilt(const ArticleParagraph& model, const std::vector<OCRWordEntry>& words);

// Gives `paragraph` the frame `frame`, its tight frame moved and sized with it.
void setFrame(ArticleParagraph& paragraph, const Rect& frame);

// The paragraph moved down by `dy` points (up when negative): frame, tight frame and word boxes.
ArticleParagraph shifted(ArticleParagraph paragraph, double dy);

} // namespace ParagraphWords
} // namespace lorvantine
