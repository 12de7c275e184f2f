#pragma once

#include "Platform/Backends/Mp3Decoder.h"

#include <optional>
#include <string>

namespace lorvantine::speechserver::testing {

// The whole stream decoded; none when no frame decodes or decoding stops part way.
inline std::optional<DecodedAudio> decodeMp3(const std::string& bytes)
{
    auto decoded = Mp3Decoder::decode({reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()});
    if (!decoded || decoded->error)
        return std::nullopt;
    return std::move(decoded).value();
}

// Strict standard base64 (padding required, nothing else accepted).
inline std::optional<std::string> decodeBase64(const std::string& text)
{
    static const std::string alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    for (std::size_t i = 0; i < text.size(); i += 4) {
        unsigned value = 0;
        int padding = 0;
        for (std::size_t k = 0; k < 4; ++k) {
            char c = text[i + k];
            if (c == '=' && i + 4 == text.size() && k >= 2) {
                ++padding;
                value <<= 6;
                continue;
            }
            auto at = alphabet.find(c);
            if (at == std::string::npos || padding > 0)
                return std::nullopt;
            value = value << 6 | static_cast<unsigned>(at);
        }
        out += static_cast<char>(value >> 16 & 255);
        if (padding < 2)
            out += static_cast<char>(value >> 8 & 255);
        if (padding < 1)
            out += static_cast<char>(value & 255);
    }
    return out;
}

} // namespace lorvantine::speechserver::testing
