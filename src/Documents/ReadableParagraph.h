#pragma once

#include "Accessibility/ArticleParagraph.h"

namespace lorvantine {

// The paragraph of the document-session interface: the fields of ArticleParagraph, with the
// element named `axElement`. Sources that build ArticleParagraph values convert them with `from`;
// the users of a session convert back with `toArticleParagraph`.
struct ReadableParagraph {
    int index = 0;
    std::string text;
    Rect frame;
    std::string role;
    std::optional<AXElement> axElement;
    std::optional<std::string> axFullText;
    std::optional<double> tightFrameYOffset;
    std::optional<double> tightFrameHeight;
    std::optional<int> nativeCharOffset;
    bool boundsDisabled = false;
    std::optional<std::vector<OCRWordEntry>> ocrWordBboxes;

    static ReadableParagraph from(const ArticleParagraph& paragraph);
    ArticleParagraph toArticleParagraph() const;

    friend bool operator==(const ReadableParagraph&, const ReadableParagraph&) = default;
};

} // namespace lorvantine
