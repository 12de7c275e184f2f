#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace lorvantine::Base64 {

// Standard base64 (RFC 4648 alphabet) with padding; anything else, line breaks and white space
// included, is refused. Decodes into one buffer of the exact size.
std::optional<std::vector<std::uint8_t>> decode(std::string_view text);

} // namespace lorvantine::Base64
