#pragma once

#include "Platform/Backends/AudioSink.h"

#include <chrono>

struct pa_simple;

namespace lorvantine {

// PulseAudio through its simple API: one playback stream, opened with the first piece's format,
// with a short buffer so that a new piece is heard soon after it starts.
class PulseSink final : public AudioSink {
public:
    // Whether a server accepts a connection within `timeout` (never starts one).
    static bool serverAnswers(std::chrono::milliseconds timeout);

    ~PulseSink() override;

    Pacing pacing() const override { return Pacing::device; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string& error) override;
    bool write(std::span<const std::int16_t> samples) override;
    // The device simply runs dry while nothing plays.
    void writeSilence(size_t) override { }
    size_t latencyFrames() override;

private:
    pa_simple* m_stream = nullptr;
    AudioFormat m_format;
};

} // namespace lorvantine
