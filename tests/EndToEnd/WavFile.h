#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

namespace lorvantine::test {

// A 16-bit PCM WAV file as the program's WAV output writes it.
struct WavFile {
    int sampleRate = 0;
    int channels = 0;
    std::vector<std::int16_t> samples; // interleaved

    // None when the file is missing, is not RIFF/WAVE, or is not 16-bit PCM.
    static std::optional<WavFile> read(const std::filesystem::path& path);

    double duration() const { return sampleRate > 0 && channels > 0 ? static_cast<double>(samples.size()) / channels / sampleRate : 0; }
};

} // namespace lorvantine::test
