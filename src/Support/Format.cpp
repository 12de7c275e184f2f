#include "Support/Format.h"

#include <charconv>
#include <cstdio>

namespace lorvantine::Format {

std::string floatDescription(float value)
{
    char buffer[64];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string result(buffer, status == std::errc() ? end : buffer);
    if (result.find_first_of(".eEn") == std::string::npos)
        result += ".0";
    return result;
}

std::string doubleDescription(double value)
{
    char buffer[64];
    auto [end, status] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string result(buffer, status == std::errc() ? end : buffer);
    if (result.find_first_of(".eEn") == std::string::npos)
        result += ".0";
    return result;
}

std::string fixed(double value, int places)
{
    char buffer[512];
    std::snprintf(buffer, sizeof buffer, "%.*f", places, value);
    return buffer;
}

} // namespace lorvantine::Format
