#pragma once

#include "Platform/Backends/AudioFormat.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace lorvantine {

// Where the mixer's output goes. The mixer calls it from one thread at a time.
class AudioSink {
public:
    // `clock`: the sink takes samples at the installed clock's pace, so the mixer renders a little
    // ahead of the clock. `device`: `write` blocks until the device has room.
    enum class Pacing { clock, device };

    virtual ~AudioSink() = default;

    virtual Pacing pacing() const = 0;
    // Called once, before the first write, with the format of the first piece played; answers the
    // format the sink takes, or false with `error` set when it cannot take sound at all.
    virtual bool open(const AudioFormat& preferred, AudioFormat& actual, std::string& error) = 0;
    // Interleaved samples in the opened format. False when the output has failed for good.
    virtual bool write(std::span<const std::int16_t> samples) = 0;
    // Time on the output during which nothing played.
    virtual void writeSilence(size_t frames) = 0;
    // Frames written but not yet heard.
    virtual size_t latencyFrames() { return 0; }
    // Nothing more plays for now (the last voice ended) or the process ends: what was written is
    // made whole for a reader of the output (a file's header brought up to date).
    virtual void flush() { }
};

} // namespace lorvantine
