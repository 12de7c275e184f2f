#include "Platform/TimeZone.h"

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace lorvantine::TimeZone {

namespace {

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    return text;
}

// "/usr/share/zoneinfo/Asia/Shanghai" names "Asia/Shanghai"; a path outside a zoneinfo tree
// names nothing.
std::string_view zoneOfPath(std::string_view path)
{
    constexpr std::string_view marker = "zoneinfo/";
    size_t at = path.rfind(marker);
    if (at == std::string_view::npos)
        return {};
    return path.substr(at + marker.size());
}

} // namespace

std::string identifierFrom(std::optional<std::string_view> tzVariable, std::string_view etcTimezone, std::string_view localtimeTarget)
{
    if (tzVariable) {
        std::string_view value = trimmed(*tzVariable);
        if (value.starts_with(':'))
            value.remove_prefix(1);
        if (value.empty())
            return "UTC";
        if (value.starts_with('/')) {
            std::string_view zone = zoneOfPath(value);
            return zone.empty() ? "UTC" : std::string(zone);
        }
        return std::string(value);
    }
    std::string_view fromFile = trimmed(etcTimezone.substr(0, etcTimezone.find('\n')));
    if (!fromFile.empty())
        return std::string(fromFile);
    std::string_view fromLink = zoneOfPath(trimmed(localtimeTarget));
    if (!fromLink.empty())
        return std::string(fromLink);
    return "UTC";
}

std::string currentIdentifier()
{
    std::optional<std::string_view> tz;
    if (const char* value = std::getenv("TZ"))
        tz = value;
    std::string etcTimezone;
    if (std::ifstream file("/etc/timezone"); file) {
        std::ostringstream contents;
        contents << file.rdbuf();
        etcTimezone = contents.str();
    }
    std::error_code error;
    std::string localtimeTarget = std::filesystem::read_symlink("/etc/localtime", error).string();
    return identifierFrom(tz, etcTimezone, localtimeTarget);
}

} // namespace lorvantine::TimeZone
