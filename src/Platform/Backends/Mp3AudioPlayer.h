#pragma once

#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/DecodedAudio.h"
#include "Platform/Backends/TempoStretcher.h"

#include <memory>
#include <mutex>
#include <vector>

namespace lorvantine {

// The audio player of this machine: a decoded MP3 piece, stretched in tempo when its rate asks
// for it and converted to the output's format, played as one voice of a mixer.
class Mp3AudioPlayer final : public AudioPlayerPort
    , public AudioMixer::Voice
    , public std::enable_shared_from_this<Mp3AudioPlayer> {
public:
    static std::shared_ptr<Mp3AudioPlayer> make(DecodedAudio audio, std::shared_ptr<AudioMixer> mixer);
    ~Mp3AudioPlayer() override;

    void setEnableRate(bool enabled) override;
    void setRate(float rate) override;
    float rate() const override;
    bool prepareToPlay() override;
    bool play() override;
    void pause() override;
    void stop() override;
    bool isPlaying() const override;
    double currentTime() const override;
    void setCurrentTime(double seconds) override;
    double duration() const override;

    Rendered render(std::int16_t* out, size_t frames, const AudioFormat& format, std::int64_t at) override;
    void reachedEnd() override;

private:
    enum class State { idle, playing, paused, stopped };

    Mp3AudioPlayer(DecodedAudio audio, std::shared_ptr<AudioMixer> mixer);

    void prepareLocked();
    double currentTimeLocked() const;
    // Leaves the mixer, keeping the position that was heard.
    void holdLocked();
    double tempoLocked() const { return m_rateEnabled ? m_rate : 1.0; }
    double sourceFramesPerOutputFrameLocked() const;
    void applyTempoLocked();
    void readSource(size_t firstFrame, size_t frames, int outputChannels, std::int16_t* out) const;
    void readSource(size_t firstFrame, size_t frames, int outputChannels, float* out) const;
    size_t renderDirect(std::int16_t* out, size_t frames);
    size_t renderStretched(std::int16_t* out, size_t frames);

    mutable std::mutex m_mutex;
    const DecodedAudio m_audio;
    const std::shared_ptr<AudioMixer> m_mixer;
    State m_state = State::idle;
    bool m_prepared = false;
    AudioFormat m_output;
    bool m_rateEnabled = false;
    float m_rate = 1.0f;

    // Source frames heard up to `m_cursor`, the timeline frame after the last one rendered.
    double m_position = 0;
    std::int64_t m_cursor = 0;
    // The next source frame for the stretcher; ahead of `m_position` by what it holds.
    size_t m_inputFrame = 0;
    std::unique_ptr<TempoStretcher> m_stretcher;
    bool m_stretching = false;
    bool m_flushed = false;
    std::vector<float> m_floatIn;
    std::vector<float> m_floatOut;
};

} // namespace lorvantine
