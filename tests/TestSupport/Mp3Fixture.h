#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace lorvantine::Mp3Fixture {

// A sine tone as interleaved 16-bit PCM (the same sample on every channel).
std::vector<std::int16_t> tone(double frequency, double seconds, int sampleRate, int channels = 1, double amplitude = 0.4);

// Encodes PCM to MP3 with LAME, in memory. The stream starts with a LAME tag, so a decoder that
// honours it gives back exactly as many frames as were encoded.
std::vector<std::uint8_t> encode(std::span<const std::int16_t> pcm, int sampleRate, int channels, int kilobitsPerSecond = 64);

std::vector<std::uint8_t> toneMp3(double frequency, double seconds, int sampleRate = 24000, int channels = 1);

} // namespace lorvantine::Mp3Fixture
