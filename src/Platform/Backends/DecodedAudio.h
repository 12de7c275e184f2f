#pragma once

#include "Platform/Backends/AudioFormat.h"
#include "Support/ErrorValue.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace lorvantine {

// A whole MP3 piece as PCM.
struct DecodedAudio {
    AudioFormat format;
    std::vector<std::int16_t> samples;
    // Set when decoding stopped before the end of the data: `samples` hold what came before.
    std::optional<ErrorValue> error;

    size_t frames() const { return format.channels > 0 ? samples.size() / static_cast<size_t>(format.channels) : 0; }
    double duration() const { return format.sampleRate > 0 ? static_cast<double>(frames()) / format.sampleRate : 0; }
};

} // namespace lorvantine
