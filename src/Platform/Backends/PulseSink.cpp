#include "Platform/Backends/PulseSink.h"

#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/mainloop.h>
#include <pulse/simple.h>

namespace lorvantine {

namespace {

// About 40 ms in the server: enough to ride over a piece being decoded, short enough that
// pausing or a new piece is heard at once. Playback starts once the mixer's first chunk is in.
constexpr double bufferSeconds = 0.04;
constexpr double startSeconds = 0.01;

} // namespace

bool PulseSink::serverAnswers(std::chrono::milliseconds timeout)
{
    pa_mainloop* loop = pa_mainloop_new();
    if (!loop)
        return false;
    pa_context* context = pa_context_new(pa_mainloop_get_api(loop), "Lorvantine");
    bool ready = false;
    if (context && pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            pa_context_state_t state = pa_context_get_state(context);
            if (state == PA_CONTEXT_READY) {
                ready = true;
                break;
            }
            if (!PA_CONTEXT_IS_GOOD(state) || std::chrono::steady_clock::now() >= deadline)
                break;
            // A bounded poll: the connection is waited for in real time, whatever clock is installed.
            if (pa_mainloop_prepare(loop, 10'000) < 0 || pa_mainloop_poll(loop) < 0 || pa_mainloop_dispatch(loop) < 0)
                break;
        }
        pa_context_disconnect(context);
    }
    if (context)
        pa_context_unref(context);
    pa_mainloop_free(loop);
    return ready;
}

PulseSink::~PulseSink()
{
    if (m_stream) {
        pa_simple_drain(m_stream, nullptr);
        pa_simple_free(m_stream);
    }
}

bool PulseSink::open(const AudioFormat& preferred, AudioFormat& actual, std::string& error)
{
    pa_sample_spec spec {};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = static_cast<uint32_t>(preferred.sampleRate);
    spec.channels = static_cast<uint8_t>(preferred.channels);
    pa_buffer_attr attributes {};
    attributes.maxlength = static_cast<uint32_t>(-1);
    attributes.tlength = static_cast<uint32_t>(bufferSeconds * preferred.sampleRate * preferred.channels * 2);
    attributes.prebuf = static_cast<uint32_t>(startSeconds * preferred.sampleRate * preferred.channels * 2);
    attributes.minreq = static_cast<uint32_t>(-1);
    attributes.fragsize = static_cast<uint32_t>(-1);
    int status = 0;
    m_stream = pa_simple_new(nullptr, "Lorvantine", PA_STREAM_PLAYBACK, nullptr, "read aloud", &spec, nullptr, &attributes, &status);
    if (!m_stream) {
        error = std::string("PulseAudio: ") + pa_strerror(status);
        return false;
    }
    m_format = preferred;
    actual = preferred;
    return true;
}

bool PulseSink::write(std::span<const std::int16_t> samples)
{
    int status = 0;
    return m_stream && pa_simple_write(m_stream, samples.data(), samples.size_bytes(), &status) >= 0;
}

size_t PulseSink::latencyFrames()
{
    if (!m_stream)
        return 0;
    int status = 0;
    pa_usec_t latency = pa_simple_get_latency(m_stream, &status);
    if (latency == static_cast<pa_usec_t>(-1))
        return 0;
    return static_cast<size_t>(latency * static_cast<pa_usec_t>(m_format.sampleRate) / 1'000'000);
}

} // namespace lorvantine
