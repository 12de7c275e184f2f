#pragma once

#include <chrono>
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
// The whole part of a value, truncated toward zero; "0" for a value that is not finite.
std::string whole(double value);

// A moment as ISO 8601 in UTC, to the second, with a "Z": "2026-12-07T08:37:06Z".
std::string iso8601(std::chrono::system_clock::time_point time);

} // namespace Format
} // namespace lorvantine
