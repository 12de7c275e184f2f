#pragma once

#include "Accessibility/ArticleParagraph.h"
#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Turns the accessibility subtree of a native document view (many static texts, or one text area
// holding the whole text) into paragraphs with screen geometry. Stateless and silent: any thread
// may call, and a failed read only leaves out what it concerned. Offsets that meet accessibility
// (`nativeCharOffset`, the ranges asked of "AXBoundsForRange") are UTF-16 code units; offsets
// inside a paragraph's own text (the line map) are Characters.
namespace NativeDocumentParser {

// One line of text found on screen.
struct TextLine {
    AXElement element;
    std::string text; // as read, untrimmed
    Rect frame;
    // "AXStaticText" for static texts and lines cut out of a text area; "AXTextArea" for a text
    // area taken whole.
    std::string role;
    // Where the line starts in the element's "AXValue" (UTF-16 units); only for lines cut out of
    // a text area.
    std::optional<int> nativeCharOffset;
};

// Which source element and Character span of the paragraph text one line came from.
struct LineMapping {
    AXElement element;
    int charOffset = 0; // in the paragraph text, Characters
    int charCount = 0;  // Characters

    friend bool operator==(const LineMapping&, const LineMapping&) = default;
};

struct MergedParagraph {
    ArticleParagraph paragraph;
    std::vector<LineMapping> lineMap; // one entry per source line, in paragraph order
};

// The paragraphs under `root` in reading order; none (never an empty list) when nothing readable
// was found. `maxDepth` is the deepest level visited, the root being level 0.
std::optional<std::vector<MergedParagraph>> extractParagraphs(const AXElement& root, const std::string& bundleID,
                                                              int maxDepth);

// Appends the lines of `element` and then of its descendants, depth first.
void collectTextLines(const AXElement& element, std::vector<TextLine>& lines, int depth, int maxDepth);

// The upper median of the lines' heights; 16 for no lines.
double computeMedianLineHeight(const std::vector<TextLine>& lines);

// Groups lines sorted top to bottom into paragraphs numbered 0, 1, 2, ...
std::vector<MergedParagraph> mergeLinesToParagraphs(const std::vector<TextLine>& lines, double lineHeight,
                                                    const std::string& bundleID);

// One paragraph of `lines` (top to bottom); none when the joined text is blank.
std::optional<MergedParagraph> buildMergedParagraph(const std::vector<TextLine>& lines, int index);

// A line as split out of a text at its line feeds, less the carriage return that ends it when the
// text breaks its lines with CRLF: that belongs to the break, not to what is read.
std::string_view withoutLineBreak(std::string_view line);

} // namespace NativeDocumentParser
} // namespace lorvantine
