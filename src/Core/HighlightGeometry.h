#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvantine {

// Where a range of another application's text lies on screen, one rectangle per visual line,
// rebuilt from single-character "AXBoundsForRange" probes; and the alignment of a paragraph's
// text with the text its element really holds. Stateless; any thread. Every probe is a
// synchronous call into the other application, so callers keep this off the main thread.
namespace HighlightGeometry {

// Whether the measured range ends its paragraph: the last line then reaches down to the
// paragraph's bottom edge.
enum class LastInParagraph { no, yes };

// The lines of `length` UTF-16 units of `element`'s text from `location`, top to bottom, in
// global screen points (top-left origin), cut to `paraRect`. Degrades rather than fails: an empty
// list when the range cannot be measured, `paraRect` alone when the measured geometry does not
// belong to the paragraph. A range of up to three units is one rectangle of its first
// Character's width per Character: `characters`, when the caller knows how many the range
// holds, else counted in the element's text of the range.
std::vector<Rect> computeLineRects(const AXElement& element, int location, int length, const Rect& paraRect,
                                   LastInParagraph isLastInParagraph, std::optional<int> characters = std::nullopt);

// For the Characters of `source` in order, the index of the equal Character in `target`, matched
// greedily forward (canonically equivalent Characters are equal). White space matches white space
// only where the match has got to; elsewhere it is a space added between pieces that meet without
// one (a line break, a block's end) and maps to -1. Stops at the first other Character that
// cannot be matched, so the result has the source's Character count only when every Character
// was placed; callers take any other length as no mapping.
std::vector<int> buildIndexMapping(std::string_view source, std::string_view target);

struct StaticTextChild {
    AXElement el;
    std::string text;
    friend bool operator==(const StaticTextChild&, const StaticTextChild&) = default;
};

// Appends, in document order, the static texts below `element` that have a non-empty value,
// those that links hold included (a paragraph speaks its link words); nothing deeper than 20
// levels is visited.
void collectStaticTextChildren(const AXElement& element, std::vector<StaticTextChild>& into, int depth = 0);

} // namespace HighlightGeometry
} // namespace lorvantine
