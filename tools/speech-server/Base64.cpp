#include "Base64.h"

#include <array>
#include <cstdint>

namespace lorvantine::speechserver::Base64 {

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int valueOf(char c)
{
    auto at = alphabet.find(c);
    return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

}

std::string encode(std::string_view bytes)
{
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16 | static_cast<uint8_t>(bytes[i + 1]) << 8
            | static_cast<uint8_t>(bytes[i + 2]);
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += alphabet[n >> 6 & 63];
        out += alphabet[n & 63];
    }
    std::size_t left = bytes.size() - i;
    if (left > 0) {
        uint32_t n = static_cast<uint8_t>(bytes[i]) << 16;
        if (left == 2)
            n |= static_cast<uint8_t>(bytes[i + 1]) << 8;
        out += alphabet[n >> 18 & 63];
        out += alphabet[n >> 12 & 63];
        out += left == 2 ? alphabet[n >> 6 & 63] : '=';
        out += '=';
    }
    return out;
}

std::optional<std::string> decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    std::string out;
    out.reserve(text.size() / 4 * 3);
    for (std::size_t i = 0; i < text.size(); i += 4) {
        bool last = i + 4 == text.size();
        std::array<int, 4> v{};
        int padding = 0;
        for (int k = 0; k < 4; ++k) {
            char c = text[i + static_cast<std::size_t>(k)];
            if (c == '=' && last && k >= 2) {
                ++padding;
                v[static_cast<std::size_t>(k)] = 0;
                continue;
            }
            if (padding > 0)
                return std::nullopt;
            v[static_cast<std::size_t>(k)] = valueOf(c);
            if (v[static_cast<std::size_t>(k)] < 0)
                return std::nullopt;
        }
        uint32_t n = static_cast<uint32_t>(v[0] << 18 | v[1] << 12 | v[2] << 6 | v[3]);
        out += static_cast<char>(n >> 16 & 255);
        if (padding < 2)
            out += static_cast<char>(n >> 8 & 255);
        if (padding < 1)
            out += static_cast<char>(n & 255);
    }
    return out;
}

}
