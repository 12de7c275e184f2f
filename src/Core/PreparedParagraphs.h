#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <vector>

namespace lorvantine {

// A reading's paragraphs with what its start takes from all of them at once: whether their text
// is Chinese, the lists the highlight overlay follows, and the copy the speech generation works
// on. A plain value made on any thread: a long page's start makes it where the page was found,
// so that the main thread only moves the lists into place.
struct PreparedParagraphs {
    // One pass over `paragraphs`; an empty list makes an empty value.
    explicit PreparedParagraphs(std::vector<ArticleParagraph> paragraphs);

    std::vector<ArticleParagraph> paragraphs;
    bool isChinese = false;
    // The overlay's lists, one entry per paragraph in order, and whether no paragraph may have
    // its character bounds asked for.
    std::vector<Rect> frames;
    std::vector<std::optional<AXElement>> elements;
    std::vector<std::optional<double>> tightFrameYOffsets;
    std::vector<std::optional<double>> tightFrameHeights;
    std::vector<std::optional<int>> anchorLocations;
    bool allBoundsDisabled = false;
    // The paragraphs again, for the generation loop that runs off the main thread.
    std::vector<ArticleParagraph> forSpeech;
};

} // namespace lorvantine
