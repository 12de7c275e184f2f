#pragma once

#include "Support/ErrorValue.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

namespace lorvantine {

// One piece of MP3 audio loaded for playback, in the manner of the platform's audio player.
//
// Any thread may call it. The callbacks are set by the owner before `play()` and left alone while
// the player plays. They run on the output's own thread (with a manual clock: on the thread that
// moves the clock), never from inside a call to the player, so the owner may hold its own lock
// while it calls in.
//
// A player that was stopped never delivers `onFinish` afterwards. A finish that another thread is
// already delivering when `stop()` runs may still arrive, which is why each callback names the
// player it comes from. After `onDecodeError` the player has stopped and no `onFinish` follows.
class AudioPlayerPort {
public:
    virtual ~AudioPlayerPort() = default;

    // The rate applies only while rate changes are enabled; they are off at creation.
    virtual void setEnableRate(bool enabled) = 0;
    // Tempo without a change of pitch; taken into 0.5...2.0. Takes effect at once while playing.
    virtual void setRate(float rate) = 0;
    virtual float rate() const = 0;

    // Acquires the output. False when no output can take the audio.
    virtual bool prepareToPlay() = 0;
    // Starts or resumes playback at `currentTime()`. Answers whether playback started.
    virtual bool play() = 0;
    virtual void pause() = 0;
    virtual void stop() = 0;
    virtual bool isPlaying() const = 0;

    // Seconds of the audio, whatever the rate.
    virtual double currentTime() const = 0;
    virtual void setCurrentTime(double seconds) = 0;
    virtual double duration() const = 0;

    // The piece played to its end (true) or the output gave up on it (false).
    std::function<void(AudioPlayerPort&, bool successfully)> onFinish;
    // The data stopped decoding part way; what decoded before has played.
    std::function<void(AudioPlayerPort&, const ErrorValue&)> onDecodeError;
};

namespace AudioOutput {

enum class Destination {
    // LORVANTINE_AUDIO_OUT decides: "null" plays on the clock, any other value names a WAV file.
    // Unset, PulseAudio plays when a server answers, else the clock.
    automatic,
    // Nothing is heard; playback advances with the installed clock.
    clockPaced,
    // Like `clockPaced`, and every sample played (silences between pieces included) goes to the
    // WAV file at `wavPath`, which is replaced. The file is a whole WAV file at any moment; while
    // sound plays, up to its last second is still to be written, which happens when the sound
    // stops and at `flush`.
    wavFile,
};

// Where the players made from now on send their sound. Players already made keep their output.
void route(Destination destination, const std::string& wavPath = {});

// Decodes `mp3Data` into a new player routed as above. Null, with `error` set, when the data
// holds no decodable MP3 audio.
std::shared_ptr<AudioPlayerPort> makePlayer(std::span<const std::uint8_t> mp3Data, ErrorValue& error);

// The end of the process: what the routed output has written is made whole (a WAV file's
// header), after the piece of sound being written.
void flush();

} // namespace AudioOutput
} // namespace lorvantine
