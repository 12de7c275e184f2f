#include "Platform/AudioOutputPort.h"

#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/ClockPacedSink.h"
#include "Platform/Backends/Mp3AudioPlayer.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "Platform/Backends/PulseSink.h"
#include "Platform/Backends/WavFileSink.h"
#include "Support/Log.h"

#include <cstdlib>
#include <mutex>

namespace lorvantine {

namespace {

constexpr auto pulseConnectTimeout = std::chrono::milliseconds(300);

struct Routing {
    std::mutex mutex;
    AudioOutput::Destination destination = AudioOutput::Destination::automatic;
    std::string wavPath;
    std::shared_ptr<AudioMixer> mixer;
    std::shared_ptr<AudioMixer> override;
};

Routing& routing()
{
    static Routing* instance = new Routing;
    return *instance;
}

std::unique_ptr<AudioSink> automaticSink()
{
    if (const char* out = std::getenv("LORVANTINE_AUDIO_OUT"); out && *out) {
        if (std::string_view(out) == "null")
            return std::make_unique<ClockPacedSink>();
        return std::make_unique<WavFileSink>(out);
    }
    if (PulseSink::serverAnswers(pulseConnectTimeout))
        return std::make_unique<PulseSink>();
    Log::line("[Audio] no PulseAudio server answered; playing on the clock without sound");
    return std::make_unique<ClockPacedSink>();
}

std::shared_ptr<AudioMixer> mixerForNewPlayer()
{
    auto& state = routing();
    std::lock_guard lock(state.mutex);
    if (state.override)
        return state.override;
    if (!state.mixer) {
        switch (state.destination) {
        case AudioOutput::Destination::automatic:
            state.mixer = AudioMixer::make(automaticSink());
            break;
        case AudioOutput::Destination::clockPaced:
            state.mixer = AudioMixer::make(std::make_unique<ClockPacedSink>());
            break;
        case AudioOutput::Destination::wavFile:
            state.mixer = AudioMixer::make(std::make_unique<WavFileSink>(state.wavPath));
            break;
        }
    }
    return state.mixer;
}

} // namespace

namespace AudioOutput {

void route(Destination destination, const std::string& wavPath)
{
    std::shared_ptr<AudioMixer> previous;
    auto& state = routing();
    std::lock_guard lock(state.mutex);
    state.destination = destination;
    state.wavPath = wavPath;
    // Released here unless players still hold it; a WAV file is closed with its mixer.
    previous = std::move(state.mixer);
}

void useMixer(std::shared_ptr<AudioMixer> mixer)
{
    auto& state = routing();
    std::lock_guard lock(state.mutex);
    state.override = std::move(mixer);
}

void flush()
{
    std::shared_ptr<AudioMixer> mixer;
    {
        auto& state = routing();
        std::lock_guard lock(state.mutex);
        mixer = state.mixer;
    }
    if (mixer)
        mixer->flush();
}

std::shared_ptr<AudioPlayerPort> makePlayer(std::span<const std::uint8_t> mp3Data, ErrorValue& error)
{
    auto decoded = Mp3Decoder::decode(mp3Data);
    if (!decoded) {
        error = decoded.error();
        return nullptr;
    }
    return Mp3AudioPlayer::make(std::move(decoded).value(), mixerForNewPlayer());
}

} // namespace AudioOutput
} // namespace lorvantine
