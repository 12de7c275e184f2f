#pragma once

#include "Documents/RecognizedWord.h"
#include "Platform/Image.h"
#include "TestSupport/TextImageRenderer.h"

#include <string>
#include <vector>

namespace lorvantine::testing {

// Prose laid out with Pango as a reading application shows it: the words of every line with
// their layout boxes, placed on screen, and the picture they were drawn in. Every Character of
// Chinese is a word of its own, as the layout draws it; recognition joins them into runs.
struct ProsePage {
    TextImageRenderer::Rendering rendering;
    Point origin; // where the picture's top-left corner lies on screen
    std::vector<std::vector<RecognizedWord>> lines; // top to bottom, each left to right

    // Words boxed as the layout places them (the simulated desktop's recogniser), or around their
    // ink (an engine reading the picture), where lines of a paragraph stand apart.
    enum class Boxes { layout, ink };
    static ProsePage laidOut(const std::string& text, const TextImageRenderer::Options& options, Point origin,
                             Boxes boxes = Boxes::layout);

    std::vector<RecognizedWord> words() const; // line by line
    size_t wordCount() const;
    Rect textBounds() const;
};

// What an engine reports for two columns: the left one's lines before the right one's, or each
// screen line across the page as one line (the two columns' lines side by side).
std::vector<std::vector<RecognizedWord>> columnByColumn(const ProsePage& left, const ProsePage& right);
std::vector<std::vector<RecognizedWord>> acrossThePage(const ProsePage& left, const ProsePage& right);

// A white picture of `size` points at `scale` with each page's picture drawn where it lies
// (its origin relative to `origin`).
Image pictureOf(const std::vector<const ProsePage*>& pages, Point origin, Size size, double scale);

// The texts of the words a page shows, line by line.
std::vector<std::string> textsOf(const ProsePage& page);

} // namespace lorvantine::testing
