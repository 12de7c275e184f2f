#include "Platform/Backends/Mp3AudioPlayer.h"

#include <algorithm>
#include <cmath>

namespace lorvantine {

namespace {

constexpr float minimumRate = 0.5f;
constexpr float maximumRate = 2.0f;
// Source frames handed to the stretcher at a time.
constexpr size_t feedFrames = 2048;

// One output channel's sample from a source frame: mono is spread, extra channels are mixed down.
template<typename Sample, typename Convert>
void convertFrames(const std::int16_t* source, int sourceChannels, size_t frames, int outputChannels, Sample* out, Convert convert)
{
    for (size_t frame = 0; frame < frames; ++frame) {
        const std::int16_t* in = source + frame * static_cast<size_t>(sourceChannels);
        Sample* to = out + frame * static_cast<size_t>(outputChannels);
        if (sourceChannels == outputChannels) {
            for (int c = 0; c < outputChannels; ++c)
                to[c] = convert(in[c]);
        } else if (outputChannels == 1) {
            std::int32_t sum = 0;
            for (int c = 0; c < sourceChannels; ++c)
                sum += in[c];
            to[0] = convert(static_cast<std::int16_t>(sum / sourceChannels));
        } else {
            for (int c = 0; c < outputChannels; ++c)
                to[c] = convert(in[c % sourceChannels]);
        }
    }
}

std::int16_t toPcm(float sample)
{
    return static_cast<std::int16_t>(std::clamp(std::lround(sample * 32768.0f), -32768L, 32767L));
}

} // namespace

std::shared_ptr<Mp3AudioPlayer> Mp3AudioPlayer::make(DecodedAudio audio, std::shared_ptr<AudioMixer> mixer)
{
    return std::shared_ptr<Mp3AudioPlayer>(new Mp3AudioPlayer(std::move(audio), std::move(mixer)));
}

Mp3AudioPlayer::Mp3AudioPlayer(DecodedAudio audio, std::shared_ptr<AudioMixer> mixer)
    : m_audio(std::move(audio))
    , m_mixer(std::move(mixer))
{
}

Mp3AudioPlayer::~Mp3AudioPlayer() { m_mixer->remove(*this); }

void Mp3AudioPlayer::setEnableRate(bool enabled)
{
    std::lock_guard lock(m_mutex);
    m_rateEnabled = enabled;
    applyTempoLocked();
}

void Mp3AudioPlayer::setRate(float rate)
{
    std::lock_guard lock(m_mutex);
    m_rate = std::isfinite(rate) ? std::clamp(rate, minimumRate, maximumRate) : 1.0f;
    applyTempoLocked();
}

float Mp3AudioPlayer::rate() const
{
    std::lock_guard lock(m_mutex);
    return m_rate;
}

void Mp3AudioPlayer::applyTempoLocked()
{
    if (m_stretching && m_stretcher)
        m_stretcher->setTempo(tempoLocked());
}

double Mp3AudioPlayer::sourceFramesPerOutputFrameLocked() const
{
    double ratio = m_output.sampleRate > 0 ? static_cast<double>(m_audio.format.sampleRate) / m_output.sampleRate : 1.0;
    return tempoLocked() * ratio;
}

void Mp3AudioPlayer::prepareLocked()
{
    if (m_prepared)
        return;
    m_output = m_mixer->open(m_audio.format);
    m_prepared = true;
}

bool Mp3AudioPlayer::prepareToPlay()
{
    std::lock_guard lock(m_mutex);
    prepareLocked();
    return true;
}

bool Mp3AudioPlayer::play()
{
    std::lock_guard lock(m_mutex);
    prepareLocked();
    if (m_state == State::playing)
        return true;
    m_state = State::playing;
    m_cursor = m_mixer->start(shared_from_this());
    return true;
}

void Mp3AudioPlayer::pause()
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::playing)
        return;
    holdLocked();
    m_state = State::paused;
}

void Mp3AudioPlayer::stop()
{
    std::lock_guard lock(m_mutex);
    if (m_state == State::playing)
        holdLocked();
    m_state = State::stopped;
}

void Mp3AudioPlayer::holdLocked()
{
    // What was rendered ahead of the listener but not yet heard plays again on resume.
    double heard = currentTimeLocked() * m_audio.format.sampleRate;
    m_mixer->remove(*this);
    if (heard < m_position) {
        m_position = heard;
        m_inputFrame = static_cast<size_t>(heard);
        m_stretching = false;
    }
}

bool Mp3AudioPlayer::isPlaying() const
{
    std::lock_guard lock(m_mutex);
    return m_state == State::playing;
}

double Mp3AudioPlayer::currentTime() const
{
    std::lock_guard lock(m_mutex);
    return currentTimeLocked();
}

double Mp3AudioPlayer::currentTimeLocked() const
{
    double position = m_position;
    if (m_state == State::playing && m_prepared) {
        double behind = static_cast<double>(m_mixer->heardFrame() - m_cursor);
        position += behind * sourceFramesPerOutputFrameLocked();
    }
    position = std::clamp(position, 0.0, static_cast<double>(m_audio.frames()));
    return m_audio.format.sampleRate > 0 ? position / m_audio.format.sampleRate : 0;
}

void Mp3AudioPlayer::setCurrentTime(double seconds)
{
    std::lock_guard lock(m_mutex);
    double frame = std::isfinite(seconds) ? seconds * m_audio.format.sampleRate : 0;
    m_position = std::clamp(frame, 0.0, static_cast<double>(m_audio.frames()));
    m_inputFrame = static_cast<size_t>(m_position);
    m_stretching = false;
    if (m_state == State::playing)
        m_cursor = m_mixer->heardFrame();
}

double Mp3AudioPlayer::duration() const { return m_audio.duration(); }

void Mp3AudioPlayer::readSource(size_t firstFrame, size_t frames, int outputChannels, std::int16_t* out) const
{
    convertFrames(m_audio.samples.data() + firstFrame * static_cast<size_t>(m_audio.format.channels), m_audio.format.channels, frames,
        outputChannels, out, [](std::int16_t s) { return s; });
}

void Mp3AudioPlayer::readSource(size_t firstFrame, size_t frames, int outputChannels, float* out) const
{
    convertFrames(m_audio.samples.data() + firstFrame * static_cast<size_t>(m_audio.format.channels), m_audio.format.channels, frames,
        outputChannels, out, [](std::int16_t s) { return static_cast<float>(s) / 32768.0f; });
}

AudioMixer::Voice::Rendered Mp3AudioPlayer::render(std::int16_t* out, size_t frames, const AudioFormat& format, std::int64_t at)
{
    std::lock_guard lock(m_mutex);
    if (m_state != State::playing)
        return {};
    m_output = format;
    size_t produced = sourceFramesPerOutputFrameLocked() == 1.0 ? renderDirect(out, frames) : renderStretched(out, frames);
    m_cursor = at + static_cast<std::int64_t>(produced);
    return Rendered { produced, m_position >= static_cast<double>(m_audio.frames()) };
}

size_t Mp3AudioPlayer::renderDirect(std::int16_t* out, size_t frames)
{
    const size_t total = m_audio.frames();
    if (m_stretching) {
        // Go on from what has been heard; the stretcher's backlog is dropped.
        m_stretching = false;
        m_inputFrame = std::min(static_cast<size_t>(std::llround(m_position)), total);
    }
    size_t count = std::min(frames, total - std::min(m_inputFrame, total));
    readSource(m_inputFrame, count, m_output.channels, out);
    m_inputFrame += count;
    m_position = static_cast<double>(m_inputFrame);
    return count;
}

size_t Mp3AudioPlayer::renderStretched(std::int16_t* out, size_t frames)
{
    const size_t total = m_audio.frames();
    const auto channels = static_cast<size_t>(m_output.channels);
    if (!m_stretching) {
        if (!m_stretcher)
            m_stretcher = std::make_unique<TempoStretcher>(m_audio.format.sampleRate, m_output.sampleRate, m_output.channels);
        m_stretcher->clear();
        m_stretcher->setTempo(tempoLocked());
        m_inputFrame = std::min(static_cast<size_t>(std::llround(m_position)), total);
        m_flushed = false;
        m_stretching = true;
    }
    const double step = sourceFramesPerOutputFrameLocked();
    size_t produced = 0;
    while (produced < frames) {
        // The stretcher pads its last output; nothing beyond the source's own length is played.
        double remaining = (static_cast<double>(total) - m_position) / step;
        if (remaining < 0.5) {
            m_position = static_cast<double>(total);
            break;
        }
        size_t wanted = std::min(frames - produced, static_cast<size_t>(std::ceil(remaining - 0.5)));
        m_floatOut.resize(wanted * channels);
        size_t got = m_stretcher->receive(m_floatOut.data(), wanted);
        if (got > 0) {
            for (size_t i = 0; i < got * channels; ++i)
                out[produced * channels + i] = toPcm(m_floatOut[i]);
            produced += got;
            m_position += static_cast<double>(got) * step;
            continue;
        }
        if (m_inputFrame < total) {
            size_t feed = std::min(feedFrames, total - m_inputFrame);
            m_floatIn.resize(feed * channels);
            readSource(m_inputFrame, feed, m_output.channels, m_floatIn.data());
            m_stretcher->put(m_floatIn.data(), feed);
            m_inputFrame += feed;
            continue;
        }
        if (!m_flushed) {
            m_stretcher->flush();
            m_flushed = true;
            continue;
        }
        m_position = static_cast<double>(total);
        break;
    }
    return produced;
}

void Mp3AudioPlayer::reachedEnd()
{
    std::optional<ErrorValue> error;
    {
        std::lock_guard lock(m_mutex);
        if (m_state != State::playing)
            return;
        m_state = State::idle;
        m_position = 0;
        m_inputFrame = 0;
        m_stretching = false;
        error = m_audio.error;
    }
    if (error) {
        if (onDecodeError)
            onDecodeError(*this, *error);
    } else if (onFinish) {
        onFinish(*this, true);
    }
}

} // namespace lorvantine
