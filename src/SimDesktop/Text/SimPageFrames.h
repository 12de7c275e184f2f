#pragma once

#include "SimDesktop/Model/SimModel.h"

#include <string>

namespace lorvantine {

// The text attributes of a page frame: one text area per page of a document (SimPagedDocument),
// as a word processor exposes its pages. Every page answers for the whole document in document
// offsets (UTF-16): `AXValue`, `AXNumberOfCharacters` and `AXStringForRange` over all of it. Only
// its own page is measured: `AXVisibleCharacterRange` is the page's own slice while some of the
// page is in view (an empty range at its start otherwise), and `AXBoundsForRange` of characters
// outside that answers the page frame's whole rectangle, as the real application does.
namespace SimPageFrames {

// Some of the page is inside its window and its scroll areas.
bool isInView(SimModel& model, SimNode& node);
AXError copy(SimModel& model, SimNode& node, const std::string& attribute, AXValue& out);
AXError copyParameterized(SimModel& model, SimNode& node, const std::string& attribute, const AXValue& parameter,
                          AXValue& out);

} // namespace SimPageFrames
} // namespace lorvantine
