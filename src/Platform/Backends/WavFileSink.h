#pragma once

#include "Platform/Backends/AudioSink.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lorvantine {

// Records what plays to a 16-bit PCM WAV file, paced by the installed clock like the silent
// output, so the file holds what a listener would have heard at the moment they heard it, the
// silences between pieces included (with a manual clock: exactly as the test moves time). The
// sound is written a second at a time with the header that covers it, and what is left whenever
// the sound stops and when the file is closed: the file is whole at any moment, holds all that
// played whenever nothing plays, and a crash costs it at most the last second.
class WavFileSink final : public AudioSink {
public:
    explicit WavFileSink(std::string path);
    ~WavFileSink() override;

    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string& error) override;
    bool write(std::span<const std::int16_t> samples) override;
    void writeSilence(size_t frames) override;
    void flush() override;

private:
    bool append(const void* data, size_t size);
    // The sound kept back, then the header that covers it.
    void writePending();
    // Makes the file hold `dataBytes` of sound and the header say so. False when that cannot be
    // done, the header then claiming no more than the file holds.
    bool writeSizes(std::uint64_t dataBytes);

    std::string m_path;
    int m_fd = -1;
    AudioFormat m_format;
    // What the file and its header hold.
    std::uint64_t m_dataBytes = 0;
    std::vector<unsigned char> m_pending;
    bool m_full = false;
};

} // namespace lorvantine
