#include "CannedVoice.h"

#include "Mp3Encoder.h"
#include "Segmenter.h"

#include <unicode/uchar.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace lorvantine::speechserver {

namespace {

constexpr int sampleRate = 22050;
constexpr int samplesPerFrame = 576;  // MPEG-2 Layer III
// A whole number of periods per frame, so that every frame of the tone is the same.
constexpr double toneHz = 10.0 * sampleRate / samplesPerFrame;
constexpr double secondsPerCharacter = 0.06;
constexpr double secondsPerIdeograph = 0.18;
constexpr double maxSeconds = 60;

// Length in bytes of the Layer III frame whose header starts at `at`, or 0.
std::size_t frameLength(const std::string& mp3, std::size_t at)
{
    if (at + 4 > mp3.size())
        return 0;
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(mp3[at + i]); };
    if (byte(0) != 0xFF || (byte(1) & 0xE0) != 0xE0 || (byte(1) & 0x06) != 0x02)
        return 0;
    bool mpeg1 = (byte(1) & 0x18) == 0x18;
    // One table indexed by version: GCC 12 with the sanitizers misreads a ?: between two arrays.
    static constexpr int kbps[2][16] = {
        {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
        {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0},
    };
    static constexpr int sampleRates[] = {44100, 48000, 32000, 0};
    int bitrate = kbps[mpeg1 ? 1 : 0][byte(2) >> 4] * 1000;
    int rate = sampleRates[byte(2) >> 2 & 3];
    if (bitrate == 0 || rate == 0)
        return 0;
    if (!mpeg1)
        rate /= (byte(1) & 0x18) == 0x10 ? 2 : 4;
    int padding = byte(2) >> 1 & 1;
    return static_cast<std::size_t>((mpeg1 ? 144 : 72) * bitrate / rate + padding);
}

double spokenSeconds(std::string_view text)
{
    double seconds = 0;
    auto length = static_cast<int32_t>(text.size());
    for (int32_t at = 0; at < length;) {
        UChar32 c;
        U8_NEXT(text.data(), at, length, c);
        if (c >= 0 && u_getCombiningClass(c) == 0)
            seconds += u_hasBinaryProperty(c, UCHAR_IDEOGRAPHIC) ? secondsPerIdeograph : secondsPerCharacter;
    }
    return seconds;
}

}

std::unique_ptr<CannedVoice> CannedVoice::create(std::string& error)
{
    std::vector<int16_t> tone(static_cast<std::size_t>(sampleRate));
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<int16_t>(2500 * std::sin(2 * std::numbers::pi * toneHz * static_cast<double>(i) / sampleRate));
    auto mp3 = Mp3Encoder::encode(tone, sampleRate, Mp3Encoder::Framing::Sliceable);
    if (!mp3) {
        error = "LAME could not encode the canned tone";
        return nullptr;
    }
    // Take a frame from the middle, past the encoder's start-up.
    std::vector<std::pair<std::size_t, std::size_t>> frames;
    for (std::size_t at = 0, length; (length = frameLength(*mp3, at)) > 0 && at + length <= mp3->size(); at += length)
        frames.emplace_back(at, length);
    if (frames.size() < 3) {
        error = "the canned tone did not encode to whole MP3 frames";
        return nullptr;
    }
    auto [at, length] = frames[frames.size() / 2];
    return std::unique_ptr<CannedVoice>(
        new CannedVoice(mp3->substr(at, length), static_cast<double>(samplesPerFrame) / sampleRate));
}

CannedVoice::CannedVoice(std::string frame, double frameSeconds)
    : frame_(std::move(frame))
    , frameSeconds_(frameSeconds)
{
}

SpokenAudio CannedVoice::speak(std::string_view text, double speed) const
{
    SpokenAudio audio;
    auto words = Segmenter::words(text);
    if (words.empty())
        return audio;
    double wanted = std::min(spokenSeconds(text) / std::clamp(speed, 0.25, 4.0), maxSeconds);
    auto frames = std::max<std::size_t>(1, static_cast<std::size_t>(std::ceil(wanted / frameSeconds_)));
    audio.mp3.reserve(frames * frame_.size());
    for (std::size_t i = 0; i < frames; ++i)
        audio.mp3 += frame_;
    audio.durationSeconds = static_cast<double>(frames) * frameSeconds_;
    double step = audio.durationSeconds / static_cast<double>(words.size());
    for (std::size_t i = 0; i < words.size(); ++i)
        audio.words.push_back({std::move(words[i]), step * static_cast<double>(i), step * static_cast<double>(i + 1)});
    return audio;
}

}
