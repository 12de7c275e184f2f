#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"

#include <string>
#include <vector>

namespace lorvantine {

// What one article capture found: the title chosen for the page, the window it was read from,
// and the paragraphs in reading order (possibly none when the page held no usable text).
struct CapturedArticle {
    std::string title;
    AXElement window;
    std::vector<ArticleParagraph> paragraphs;
};

} // namespace lorvantine
