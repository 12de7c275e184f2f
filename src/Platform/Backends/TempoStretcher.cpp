#include "Platform/Backends/TempoStretcher.h"

#include <SoundTouch.h>

namespace lorvantine {

static_assert(std::is_same_v<soundtouch::SAMPLETYPE, float>, "SoundTouch built for float samples");

TempoStretcher::TempoStretcher(int sourceRate, int outputRate, int channels)
    : m_touch(std::make_unique<soundtouch::SoundTouch>())
{
    m_touch->setChannels(static_cast<unsigned>(channels));
    m_touch->setSampleRate(static_cast<unsigned>(sourceRate));
    m_touch->setRate(static_cast<double>(sourceRate) / outputRate);
    m_touch->setTempo(1.0);
}

TempoStretcher::~TempoStretcher() = default;

void TempoStretcher::setTempo(double tempo) { m_touch->setTempo(tempo); }

void TempoStretcher::put(const float* samples, size_t frames) { m_touch->putSamples(samples, static_cast<unsigned>(frames)); }

size_t TempoStretcher::receive(float* samples, size_t maxFrames)
{
    return m_touch->receiveSamples(samples, static_cast<unsigned>(maxFrames));
}

void TempoStretcher::flush() { m_touch->flush(); }

void TempoStretcher::clear() { m_touch->clear(); }

} // namespace lorvantine
