#pragma once

#include <cstddef>
#include <memory>

namespace soundtouch {
class SoundTouch;
}

namespace lorvantine {

// SoundTouch: plays faster or slower without changing pitch, and converts a piece's sample rate
// to the output's when they differ. Samples are interleaved floats; both sides have `channels`.
// One thread at a time.
class TempoStretcher {
public:
    TempoStretcher(int sourceRate, int outputRate, int channels);
    ~TempoStretcher();
    TempoStretcher(const TempoStretcher&) = delete;
    TempoStretcher& operator=(const TempoStretcher&) = delete;

    void setTempo(double tempo);
    void put(const float* samples, size_t frames);
    // Up to `maxFrames` output frames; 0 when it needs more input (or, after `flush`, is empty).
    size_t receive(float* samples, size_t maxFrames);
    // No more input: pushes out what the pipeline still holds (padded with silence at the end).
    void flush();
    // Drops everything buffered, for a seek or a change of mode.
    void clear();

private:
    std::unique_ptr<soundtouch::SoundTouch> m_touch;
};

} // namespace lorvantine
