#include "Support/Format.h"

#include <charconv>
#include <cstdio>
#include <cmath>
#include <ctime>

namespace lorvantine::Format {

namespace {

// The shortest form that reads back as the same value, with ".0" on whole numbers.
template <typename Number> std::string shortestDescription(Number value)
{
    char buffer[64];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string result(buffer, status == std::errc() ? end : buffer);
    if (result.find_first_of(".eEn") == std::string::npos)
        result += ".0";
    return result;
}

} // namespace

std::string floatDescription(float value)
{
    return shortestDescription(value);
}

std::string doubleDescription(double value)
{
    return shortestDescription(value);
}

std::string whole(double value)
{
    return std::isfinite(value) ? std::to_string(static_cast<long long>(std::trunc(value))) : "0";
}

std::string fixed(double value, int places)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", places, value);
    return buffer;
}

std::string iso8601(std::chrono::system_clock::time_point time)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(std::chrono::floor<std::chrono::seconds>(time));
    std::tm utc {};
    gmtime_r(&seconds, &utc);
    char buffer[32];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return buffer;
}

} // namespace lorvantine::Format
