#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvantine::speechserver {

// Standard base64 (RFC 4648 alphabet, with padding).
namespace Base64 {

std::string encode(std::string_view bytes);

// nullopt for anything but canonical padded base64 (no white space accepted).
std::optional<std::string> decode(std::string_view text);

}

}
