#pragma once

#include "Platform/Backends/AudioSink.h"

#include <cstdint>
#include <string>

namespace lorvantine {

// Records what plays to a 16-bit PCM WAV file, paced by the installed clock like the silent
// output, so the file holds what a listener would have heard at the moment they heard it, the
// silences between pieces included (with a manual clock: exactly as the test moves time). The
// header is brought up to date once a second of sound while it plays, whenever the sound stops
// and when the file is closed: a reader finds a whole file whenever nothing plays, and a crash
// leaves one whose header covers all but the last second.
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
    void patchHeader();

    std::string m_path;
    int m_fd = -1;
    AudioFormat m_format;
    std::uint64_t m_dataBytes = 0;
    // What the header says of the data.
    std::uint64_t m_headerBytes = 0;
    bool m_full = false;
};

} // namespace lorvantine
