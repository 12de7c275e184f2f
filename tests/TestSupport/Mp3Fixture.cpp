#include "TestSupport/Mp3Fixture.h"

#include <lame/lame.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <stdexcept>

namespace lorvantine::Mp3Fixture {

std::vector<std::int16_t> tone(double frequency, double seconds, int sampleRate, int channels, double amplitude)
{
    const auto frames = static_cast<size_t>(std::llround(seconds * sampleRate));
    std::vector<std::int16_t> pcm(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        double value = amplitude * 32767.0 * std::sin(2 * std::numbers::pi * frequency * static_cast<double>(i) / sampleRate);
        for (int c = 0; c < channels; ++c)
            pcm[i * static_cast<size_t>(channels) + static_cast<size_t>(c)] = static_cast<std::int16_t>(std::lround(value));
    }
    return pcm;
}

std::vector<std::uint8_t> encode(std::span<const std::int16_t> pcm, int sampleRate, int channels, int kilobitsPerSecond)
{
    lame_global_flags* flags = lame_init();
    if (!flags)
        throw std::runtime_error("lame_init failed");
    lame_set_in_samplerate(flags, sampleRate);
    lame_set_out_samplerate(flags, sampleRate);
    lame_set_num_channels(flags, channels);
    lame_set_mode(flags, channels == 1 ? MONO : JOINT_STEREO);
    lame_set_brate(flags, kilobitsPerSecond);
    lame_set_quality(flags, 5);
    lame_set_bWriteVbrTag(flags, 1);
    if (lame_init_params(flags) < 0) {
        lame_close(flags);
        throw std::runtime_error("lame_init_params failed");
    }
    const size_t frames = pcm.size() / static_cast<size_t>(channels);
    std::vector<std::uint8_t> out(frames * 5 / 4 + 7200 + 8192);
    // LAME takes non-const buffers but does not write to them.
    auto* samples = const_cast<short*>(reinterpret_cast<const short*>(pcm.data()));
    int written = channels == 1
        ? lame_encode_buffer(flags, samples, samples, static_cast<int>(frames), out.data(), static_cast<int>(out.size()))
        : lame_encode_buffer_interleaved(flags, samples, static_cast<int>(frames), out.data(), static_cast<int>(out.size()));
    if (written < 0) {
        lame_close(flags);
        throw std::runtime_error("lame_encode_buffer failed");
    }
    int flushed = lame_encode_flush(flags, out.data() + written, static_cast<int>(out.size()) - written);
    out.resize(static_cast<size_t>(written + std::max(flushed, 0)));
    // The first frame was left empty for the tag that describes the whole stream.
    unsigned char tag[2880];
    size_t tagSize = lame_get_lametag_frame(flags, tag, sizeof tag);
    if (tagSize > 0 && tagSize <= out.size())
        std::memcpy(out.data(), tag, tagSize);
    lame_close(flags);
    return out;
}

std::vector<std::uint8_t> toneMp3(double frequency, double seconds, int sampleRate, int channels)
{
    auto pcm = tone(frequency, seconds, sampleRate, channels);
    return encode(pcm, sampleRate, channels);
}

} // namespace lorvantine::Mp3Fixture
