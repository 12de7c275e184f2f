#pragma once

#include "SimDesktop/Model/SimModel.h"

#include <string>
#include <vector>

namespace lorvantine {

// What an element answers through the accessibility API: its fixture attributes first (errors,
// then explicit values), then the attributes the model computes for its kind. The caller holds
// the desktop lock and has checked trust; journaling is the caller's.
namespace SimAttributes {

AXError copy(SimModel& model, const AXElement& element, const std::string& attribute, AXValue& out);
AXError names(SimModel& model, const AXElement& element, std::vector<std::string>& out);
AXError copyParameterized(SimModel& model, const AXElement& element, const std::string& attribute,
                          const AXValue& parameter, AXValue& out);
AXError parameterizedNames(SimModel& model, const AXElement& element, std::vector<std::string>& out);
AXError set(SimModel& model, const AXElement& element, const std::string& attribute, const AXValue& value);
AXError isSettable(SimModel& model, const AXElement& element, const std::string& attribute, bool& out);
AXError perform(SimModel& model, const AXElement& element, const std::string& action);
AXError actionNames(SimModel& model, const AXElement& element, std::vector<std::string>& out);

// The error for a handle that names no live node.
AXError missing(const AXElement& element);

} // namespace SimAttributes
} // namespace lorvantine
