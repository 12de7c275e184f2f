#pragma once

#include "SimDesktop/Model/SimModel.h"

#include <string>
#include <vector>

namespace lorvantine {

// The text attributes of text elements, answered from the element's layout in UTF-16 units.
// A run of a larger layout answers for its own part, with its own offsets and line numbers.
namespace SimTextAttributes {

bool isParameterized(const std::string& attribute);
const std::vector<std::string>& parameterizedNames();
// `AXValue`, `AXNumberOfCharacters`, `AXVisibleCharacterRange`; attributeUnsupported for others.
AXError copy(SimModel& model, SimNode& node, const std::string& attribute, AXValue& out);
const std::vector<std::string>& names();
AXError copyParameterized(SimModel& model, SimNode& node, const std::string& attribute, const AXValue& parameter,
                          AXValue& out);
// As `copyParameterized`, over the element's own laid-out text even when it is one page of a
// larger document.
AXError copyOwnParameterized(SimModel& model, SimNode& node, const std::string& attribute, const AXValue& parameter,
                             AXValue& out);

} // namespace SimTextAttributes
} // namespace lorvantine
