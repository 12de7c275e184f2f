#include "Mp3Probe.h"

#include <mpg123.h>

#include <memory>
#include <vector>

namespace lorvantine::speechserver::testing {

std::optional<DecodedMp3> decodeMp3(const std::string& bytes)
{
    if (bytes.empty())
        return std::nullopt;
    int error = MPG123_OK;
    std::unique_ptr<mpg123_handle, decltype(&mpg123_delete)> handle(mpg123_new(nullptr, &error), mpg123_delete);
    if (!handle || mpg123_open_feed(handle.get()) != MPG123_OK)
        return std::nullopt;
    mpg123_param(handle.get(), MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    if (mpg123_feed(handle.get(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()) != MPG123_OK)
        return std::nullopt;
    DecodedMp3 decoded;
    std::vector<unsigned char> buffer(65536);
    std::size_t totalBytes = 0;
    int encoding = 0;
    for (;;) {
        std::size_t done = 0;
        int result = mpg123_read(handle.get(), buffer.data(), buffer.size(), &done);
        totalBytes += done;
        if (result == MPG123_NEW_FORMAT) {
            mpg123_getformat(handle.get(), &decoded.sampleRate, &decoded.channels, &encoding);
            continue;
        }
        if (result == MPG123_NEED_MORE || result == MPG123_DONE)
            break;
        if (result != MPG123_OK)
            return std::nullopt;
    }
    int sampleBytes = mpg123_encsize(encoding);
    if (decoded.sampleRate == 0 || decoded.channels == 0 || sampleBytes <= 0 || totalBytes == 0)
        return std::nullopt;
    decoded.samplesPerChannel = totalBytes / (static_cast<std::size_t>(sampleBytes) * static_cast<std::size_t>(decoded.channels));
    return decoded;
}

std::optional<std::string> decodeBase64(const std::string& text)
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

}
