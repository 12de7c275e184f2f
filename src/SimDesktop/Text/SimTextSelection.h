#pragma once

#include "SimDesktop/Model/SimModel.h"

#include <string>

namespace lorvantine {

// The live selection of a text element: what a click, a double or triple click or a drag selects
// in its layout, and the text it holds. Ranges are UTF-16 units of the element's text; points are
// global, top-left origin. Called with the desktop locked.
namespace SimTextSelection {

enum class Granularity { character, word, paragraph };

// The selection, cut to the text (which may have changed since it was made).
AXRange current(const SimNode& node);
// The selected text; empty for a caret.
std::string selectedText(SimModel& model, SimNode& node);
// Selects `range`; posts "AXSelectedTextChanged" when the selection changed. False (and nothing
// changes) when the range does not lie within the text.
bool select(SimModel& model, SimNode& node, AXRange range);

// The caret position nearest `point`: before or after the Character under it, by which half the
// point is in.
int64_t caretAt(SimModel& model, SimNode& node, Point point);
// The Character under `point`, or the nearest one on the nearest line (its first UTF-16 unit).
int64_t indexAt(SimModel& model, SimNode& node, Point point);
// The unit holding the Character at `index` (or the one before it at the end of the text): the
// Character itself, its word (a run of letters, marks, digits and underscores; any other Character
// alone), or its paragraph with the line break that ends it.
AXRange unitAt(const SimTextLayout& layout, int64_t index, Granularity granularity);

} // namespace SimTextSelection
} // namespace lorvantine
