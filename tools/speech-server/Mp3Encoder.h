#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::speechserver {

// Mono 16-bit PCM to MP3 with LAME.
namespace Mp3Encoder {

enum class Framing {
    // Starts with an Info frame carrying encoder delay and padding, so that decoders that
    // honour it return exactly the input samples and word times line up with the audio.
    Gapless,
    // No Info frame and no bit reservoir: every frame decodes on its own, so any run of
    // whole frames is itself a valid MP3 stream.
    Sliceable,
};

// Empty input gives an empty stream. nullopt when LAME refuses the parameters.
std::optional<std::string> encode(const std::vector<int16_t>& samples, int sampleRate, Framing framing);

}

}
