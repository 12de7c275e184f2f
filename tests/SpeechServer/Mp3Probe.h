#pragma once

#include <optional>
#include <string>

namespace lorvantine::speechserver::testing {

struct DecodedMp3 {
    long sampleRate = 0;
    int channels = 0;
    std::size_t samplesPerChannel = 0;
    double seconds() const { return sampleRate > 0 ? static_cast<double>(samplesPerChannel) / static_cast<double>(sampleRate) : 0; }
};

// Decodes a whole MP3 stream with mpg123; nullopt when mpg123 reports an error or finds no audio.
std::optional<DecodedMp3> decodeMp3(const std::string& bytes);

// Strict standard base64 (padding required, nothing else accepted).
std::optional<std::string> decodeBase64(const std::string& text);

}
