#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Geometry.h"

#include <optional>
#include <string>

namespace lorvantine {

// The one printed form of accessibility values in the command line's diagnostics (the probes and
// the inspector write a value after its attribute's name in this form). Numbers are written as the
// platform describes a Double ("12.0", "0.5"); strings and URLs as they are; nothing is cut.
// Stateless: any thread.
namespace AXValueDescription {

// By kind: "<null>" for a present but empty value; "true" / "false"; integers in decimal; points,
// sizes and rectangles as below; a range "{location, length}"; an element
// "<AXUIElement pid=700 node=12>"; lists in brackets, joined by ", ", strings of a list in double
// quotes; an attributed string as its text in double quotes followed by each run's range and its
// attributes by name: "\"Hi\" {0, 2} {AXFontName=DejaVu Sans; AXLanguage=en}".
std::string describe(const AXValue& value);

std::string describe(const Point& point);   // "(10.0, 20.5)"
std::string describe(const Size& size);     // "(300.0, 40.0)"
std::string describe(const Rect& rect);     // "(10.0, 20.5, 300.0, 40.0)"
std::string describe(const AXRange& range); // "{0, 5}"
std::string describe(const AXElement& element);

// The platform's name of an error code, without its prefix, in lower camel case: "success",
// "failure", "illegalArgument" ... "notEnoughPrecision"; none for a code it does not define.
std::optional<std::string> errorName(AXError error);

} // namespace AXValueDescription
} // namespace lorvantine
