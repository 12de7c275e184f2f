#pragma once

#include <string>

namespace lorvantine {

// Numbers in log lines, written as the platform's own code writes them.
namespace Format {

// A Float as the platform describes one: the shortest form that reads back to it, whole numbers
// with ".0" ("1.0", "1.25", "nan", "inf").
std::string floatDescription(float value);
// The same for a Double ("30.0", "0.1", "1e+16").
std::string doubleDescription(double value);

// `value` with `places` digits after the point, as printf's "%.*f" writes it ("3.00").
std::string fixed(double value, int places);

} // namespace Format
} // namespace lorvantine
