#pragma once

#include <chrono>
#include <string>

namespace lorvantine {

// Numbers in log lines, written as the platform's own code writes them.
namespace Format {

// A Float as the platform describes one: the shortest form that reads back to it, whole numbers
// with ".0" ("1.0", "1.25", "nan", "inf").
std::string floatDescription(float value);

// `value` with `places` digits after the point, as printf's "%.*f" writes it ("3.00").
std::string fixed(double value, int places);

// A moment as ISO 8601 in UTC, to the second, with a "Z": "2026-12-07T08:37:06Z".
std::string iso8601(std::chrono::system_clock::time_point time);

} // namespace Format
} // namespace lorvantine
