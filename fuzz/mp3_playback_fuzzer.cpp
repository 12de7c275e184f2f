#include "FuzzCheck.h"
#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/AudioSink.h"
#include "Platform/Backends/Mp3AudioPlayer.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "Platform/Dispatch/Clock.h"
#include "Support/Log.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <memory>
#include <span>

using namespace lorvantine;

namespace {

// A silent output that takes only its own format, as a device does, so the player converts
// rate and channels on the way.
class FixedFormatSink final : public AudioSink {
public:
    explicit FixedFormatSink(AudioFormat format) : m_format(format) {}
    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string&) override
    {
        actual = m_format.sampleRate > 0 ? m_format : preferred;
        return true;
    }
    bool write(std::span<const std::int16_t>) override { return true; }
    void writeSilence(size_t) override { }

private:
    AudioFormat m_format;
};

constexpr std::array<AudioFormat, 4> outputs { AudioFormat {}, AudioFormat { 44100, 2 }, AudioFormat { 48000, 2 }, AudioFormat { 16000, 1 } };
constexpr std::array<float, 4> rates { 1.0f, 1.5f, 0.5f, 2.0f };
// Long pieces play their first and last seconds only; the stretcher's cost follows the length.
constexpr double playedHead = 1.5;
constexpr double playedTail = 1.0;

} // namespace

// MP3 bytes as the speech server sends them: decoded, then played to the end through the
// stretcher and the mixer, at a rate and into an output format picked by the last byte.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ManualClock& clock = fuzz::manualClock();
    Log::Capture quiet;

    auto decoded = Mp3Decoder::decode(std::span<const std::uint8_t>(data, size));
    if (!decoded) {
        fuzz::check(!decoded.error().description.empty(), "a refusal says why");
        return 0;
    }
    const AudioFormat format = decoded->format;
    fuzz::check(format.sampleRate > 0 && format.channels >= 1 && format.channels <= 2 && decoded->frames() > 0,
                "decoded audio has a format and frames");
    fuzz::check(decoded->samples.size() == decoded->frames() * static_cast<size_t>(format.channels), "whole frames only");
    const bool brokenOff = decoded->error.has_value();
    const double duration = decoded->duration();

    int finished = 0;
    int failed = 0;
    const uint8_t pick = data[size - 1];
    auto mixer = AudioMixer::make(std::make_unique<FixedFormatSink>(outputs[pick % outputs.size()]));
    auto player = Mp3AudioPlayer::make(std::move(decoded).value(), mixer);
    player->onFinish = [&](AudioPlayerPort&, bool) { ++finished; };
    player->onDecodeError = [&](AudioPlayerPort&, const ErrorValue&) { ++failed; };
    player->setEnableRate(true);
    const size_t rate = pick / outputs.size() % rates.size();
    player->setRate(rates[rate]);
    fuzz::check(player->play(), "playback starts");

    // The piece's own length at half speed, with a second to spare; no more for a long piece,
    // which jumps to its last second once its head has played.
    const double step = 0.25;
    const double budget = 2 * std::min(duration, playedHead + playedTail) + 1;
    bool skipped = duration <= playedHead + playedTail;
    for (double elapsed = 0; elapsed < budget && finished + failed == 0; elapsed += step) {
        clock.advance(seconds(step));
        if (!skipped && elapsed + step >= playedHead) {
            player->setCurrentTime(duration - playedTail);
            player->setRate(rates[(rate + 1) % rates.size()]);
            skipped = true;
        }
    }
    fuzz::check(finished + failed == 1, "the piece ends once, in time");
    fuzz::check((brokenOff ? failed : finished) == 1, "a piece that broke off reports its error, any other finishes");
    return 0;
}
