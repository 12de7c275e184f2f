#pragma once

#include "Accessibility/OCRWordEntry.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"
#include "Support/JsonValue.h"

#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// One paragraph to be read, with where it stands on screen. A plain value: it crosses threads
// and is copied freely.
struct ArticleParagraph {
    int index = 0;
    std::string text;
    Rect frame; // global, top-left origin
    // The accessibility role it came from, or a marker: "body", "Selection".
    std::string role;
    std::optional<AXElement> element;
    // The element's whole text, when it differs from `text`.
    std::optional<std::string> axFullText;
    // Set when `frame` was tightened to the text: its top below the element's (none means 0) and its height.
    std::optional<double> tightFrameYOffset;
    std::optional<double> tightFrameHeight;
    // Where `text` starts inside the element's text (UTF-16 units), when the element holds more.
    std::optional<int> nativeCharOffset;
    // Character bounds of `element` must not be asked for.
    bool boundsDisabled = false;
    std::optional<std::vector<OCRWordEntry>> ocrWordBboxes;

    // The form written for other programs: "index", "text", "role", "x", "y", "width", "height",
    // in that order; nothing else. Write it with JsonWriter, keys as written.
    JsonValue toJSON() const;

    friend bool operator==(const ArticleParagraph&, const ArticleParagraph&) = default;
};

} // namespace lorvantine
