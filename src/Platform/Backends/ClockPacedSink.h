#pragma once

#include "Platform/Backends/AudioSink.h"

namespace lorvantine {

// The output of a machine without sound: nothing is heard, and playback moves with the clock.
class ClockPacedSink final : public AudioSink {
public:
    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string& error) override;
    bool write(std::span<const std::int16_t>) override { return true; }
    void writeSilence(size_t) override { }
};

} // namespace lorvantine
