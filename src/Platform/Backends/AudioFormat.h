#pragma once

namespace lorvantine {

// Interleaved signed 16-bit PCM at `sampleRate` frames per second.
struct AudioFormat {
    int sampleRate = 0;
    int channels = 0;

    bool operator==(const AudioFormat&) const = default;
};

} // namespace lorvantine
