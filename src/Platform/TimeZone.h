#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvantine {

// The system's current time zone, as an IANA identifier ("Europe/Berlin", "Asia/Shanghai").
namespace TimeZone {

// From the TZ variable when it is set, else /etc/timezone, else the target of the
// /etc/localtime link; "UTC" when none of them names a zone.
std::string currentIdentifier();

// The rule behind `currentIdentifier`, on given inputs: `tzVariable` absent when TZ is unset,
// `etcTimezone` the contents of /etc/timezone, `localtimeTarget` where /etc/localtime points.
std::string identifierFrom(std::optional<std::string_view> tzVariable, std::string_view etcTimezone, std::string_view localtimeTarget);

} // namespace TimeZone
} // namespace lorvantine
