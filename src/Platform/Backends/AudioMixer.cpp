#include "Platform/Backends/AudioMixer.h"

#include "Platform/Backends/ClockPacedSink.h"
#include "Support/Log.h"

#include <algorithm>
#include <limits>

namespace lorvantine {

namespace {

// How far the mixer's thread renders ahead of a clock-paced listener: long enough to cover the
// decoding of the next piece when one ends, short enough that a pause is felt at once.
constexpr double lookAheadSeconds = 0.02;
constexpr double chunkSeconds = 0.01;

std::int64_t framesIn(double seconds, int sampleRate) { return static_cast<std::int64_t>(seconds * sampleRate); }

std::int16_t saturate(std::int32_t value)
{
    return static_cast<std::int16_t>(std::clamp<std::int32_t>(value, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

} // namespace

std::shared_ptr<AudioMixer> AudioMixer::make(std::unique_ptr<AudioSink> sink)
{
    return std::shared_ptr<AudioMixer>(new AudioMixer(std::move(sink)));
}

AudioMixer::AudioMixer(std::unique_ptr<AudioSink> sink)
    : m_sink(std::move(sink))
    , m_threadState(std::make_shared<ThreadState>())
{
}

AudioMixer::~AudioMixer()
{
    {
        std::lock_guard lock(m_threadState->mutex);
        m_threadState->shutdown = true;
    }
    m_threadState->wakeup.notify_all();
    if (m_thread.joinable()) {
        // The last reference can go on the mixer's own thread, inside a voice's notification.
        if (m_thread.get_id() == std::this_thread::get_id())
            m_thread.detach();
        else
            m_thread.join();
    }
}

AudioFormat AudioMixer::open(const AudioFormat& preferred)
{
    std::lock_guard lock(m_mutex);
    if (m_open)
        return m_format;
    std::string error;
    if (!m_sink->open(preferred, m_format, error))
        useClockPacedSinkLocked(error, preferred);
    m_open = true;
    return m_format;
}

void AudioMixer::useClockPacedSinkLocked(const std::string& reason, AudioFormat format)
{
    Log::line("[Audio] " + reason + "; playing on the clock without sound");
    m_sink = std::make_unique<ClockPacedSink>();
    std::string ignored;
    m_sink->open(format, m_format, ignored);
    m_clock = nullptr;
    bindClockLocked();
}

std::int64_t AudioMixer::start(const std::shared_ptr<Voice>& voice)
{
    std::lock_guard lock(m_mutex);
    if (clockPacedLocked())
        bindClockLocked();
    std::int64_t cursor = m_rendered;
    if (m_inCallback && m_callbackThread == std::this_thread::get_id())
        cursor = m_callbackFrame;
    else if (clockPacedLocked())
        cursor = std::max(cursor, clockFrameLocked());
    auto existing = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& entry) { return entry.identity == voice.get(); });
    if (existing != m_entries.end())
        m_entries.erase(existing);
    m_entries.push_back(Entry { voice, voice.get(), cursor, ++m_nextSerial });
    if (!m_manualClock || !clockPacedLocked())
        wakeThreadLocked();
    return cursor;
}

void AudioMixer::remove(const Voice& voice)
{
    std::lock_guard lock(m_mutex);
    std::erase_if(m_entries, [&](const Entry& entry) { return entry.identity == &voice; });
}

std::int64_t AudioMixer::heardFrame()
{
    std::lock_guard lock(m_mutex);
    if (clockPacedLocked()) {
        bindClockLocked();
        return clockFrameLocked();
    }
    return m_rendered - static_cast<std::int64_t>(m_sink->latencyFrames());
}

void AudioMixer::bindClockLocked()
{
    Clock& clock = Clock::current();
    if (&clock == m_clock)
        return;
    m_clock = &clock;
    m_clockListener = clock.addAdvanceListener([weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->clockMoved();
    });
    m_manualClock = m_clockListener != nullptr;
    // The timeline goes on from where it stands, whatever the new clock reads.
    m_epoch = clock.now() - (timeOfFrameLocked(m_rendered) - m_epoch);
}

std::int64_t AudioMixer::clockFrameLocked() const
{
    if (!m_clock || m_format.sampleRate <= 0)
        return m_rendered;
    constexpr std::int64_t perSecond = 1'000'000'000;
    std::int64_t elapsed = std::max<std::int64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(m_clock->now() - m_epoch).count(), 0);
    return elapsed / perSecond * m_format.sampleRate + elapsed % perSecond * m_format.sampleRate / perSecond;
}

TimePoint AudioMixer::timeOfFrameLocked(std::int64_t frame) const
{
    const std::int64_t rate = std::max(m_format.sampleRate, 1);
    return m_epoch + std::chrono::seconds(frame / rate) + std::chrono::nanoseconds(frame % rate * 1'000'000'000 / rate);
}

void AudioMixer::wakeThreadLocked()
{
    if (!m_thread.joinable())
        m_thread = std::thread(threadMain, weak_from_this(), m_threadState);
    {
        std::lock_guard lock(m_threadState->mutex);
        m_threadState->wake = true;
    }
    m_threadState->wakeup.notify_one();
}

void AudioMixer::clockMoved()
{
    std::int64_t target = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_manualClock || !clockPacedLocked() || &Clock::current() != m_clock)
            return;
        target = clockFrameLocked();
    }
    renderUntil(target);
}

void AudioMixer::threadMain(std::weak_ptr<AudioMixer> weakMixer, std::shared_ptr<ThreadState> state)
{
    auto woken = [&] { return state->wake || state->shutdown; };
    for (;;) {
        {
            std::unique_lock lock(state->mutex);
            state->wakeup.wait(lock, woken);
            if (state->shutdown)
                return;
            state->wake = false;
        }
        for (;;) {
            auto mixer = weakMixer.lock();
            if (!mixer)
                return;
            Service next = mixer->serviceOutput();
            mixer.reset();
            std::unique_lock lock(state->mutex);
            if (state->shutdown)
                return;
            if (!next.busy)
                break;
            if (next.sleepUntil) {
                // A new piece cuts the wait short, so that it is heard at once.
                state->wakeup.wait_until(lock, *next.sleepUntil, woken);
                if (state->shutdown)
                    return;
                state->wake = false;
            }
        }
    }
}

AudioMixer::Service AudioMixer::serviceOutput()
{
    std::int64_t target = 0;
    {
        std::lock_guard lock(m_mutex);
        if (!m_open || m_entries.empty())
            return {};
        if (clockPacedLocked()) {
            bindClockLocked();
            if (m_manualClock)
                return {};
            target = clockFrameLocked() + framesIn(lookAheadSeconds, m_format.sampleRate);
        } else {
            target = m_rendered + framesIn(chunkSeconds, m_format.sampleRate);
        }
    }
    renderUntil(target);
    std::lock_guard lock(m_mutex);
    if (m_entries.empty())
        return {};
    if (!clockPacedLocked())
        return { true, std::nullopt };
    if (m_manualClock)
        return {};
    return { true, timeOfFrameLocked(m_rendered - framesIn(lookAheadSeconds / 2, m_format.sampleRate)) };
}

void AudioMixer::renderUntil(std::int64_t target)
{
    std::lock_guard render(m_renderMutex);
    for (;;) {
        std::int64_t frameStart = 0;
        std::int64_t frameEnd = 0;
        std::int64_t silence = 0;
        {
            std::lock_guard lock(m_mutex);
            if (!m_open || m_entries.empty() || m_rendered >= target)
                return;
            frameStart = m_rendered;
            if (clockPacedLocked() && !m_manualClock) {
                // Rendering fell behind the listener: what should have played by now was silence,
                // and the voices go on from here.
                std::int64_t heard = clockFrameLocked();
                for (Entry& entry : m_entries)
                    entry.cursor = std::max(entry.cursor, heard);
            }
            std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
            for (const Entry& entry : m_entries)
                earliest = std::min(earliest, entry.cursor);
            if (earliest > frameStart) {
                silence = std::min(earliest, target) - frameStart;
                m_rendered += silence;
            } else {
                frameEnd = std::min(target, frameStart + std::max<std::int64_t>(framesIn(chunkSeconds, m_format.sampleRate), 1));
            }
        }
        if (silence > 0) {
            m_sink->writeSilence(static_cast<size_t>(silence));
            continue;
        }
        renderChunk(frameStart, frameEnd);
    }
}

void AudioMixer::renderChunk(std::int64_t frameStart, std::int64_t frameEnd)
{
    const auto channels = static_cast<size_t>(m_format.channels);
    const auto frames = static_cast<size_t>(frameEnd - frameStart);
    m_mix.assign(frames * channels, 0);
    std::int64_t reached = frameStart;

    struct Job {
        std::shared_ptr<Voice> voice;
        std::uint64_t serial = 0;
        std::int64_t from = 0;
    };
    struct Ended {
        std::int64_t frame = 0;
        std::shared_ptr<Voice> voice;
    };
    std::vector<Job> jobs;
    std::vector<Ended> ended;
    for (;;) {
        jobs.clear();
        {
            std::lock_guard lock(m_mutex);
            for (auto it = m_entries.begin(); it != m_entries.end();) {
                if (it->cursor >= frameEnd) {
                    ++it;
                    continue;
                }
                auto voice = it->voice.lock();
                if (!voice) {
                    it = m_entries.erase(it);
                    continue;
                }
                jobs.push_back(Job { std::move(voice), it->serial, std::max(it->cursor, frameStart) });
                ++it;
            }
        }
        if (jobs.empty())
            break;

        ended.clear();
        for (Job& job : jobs) {
            const auto wanted = static_cast<size_t>(frameEnd - job.from);
            m_voiceBuffer.assign(wanted * channels, 0);
            Voice::Rendered rendered = job.voice->render(m_voiceBuffer.data(), wanted, m_format, job.from);
            rendered.frames = std::min(rendered.frames, wanted);
            const size_t offset = static_cast<size_t>(job.from - frameStart) * channels;
            for (size_t i = 0; i < rendered.frames * channels; ++i)
                m_mix[offset + i] += m_voiceBuffer[i];
            const std::int64_t end = job.from + static_cast<std::int64_t>(rendered.frames);
            reached = std::max(reached, end);

            std::lock_guard lock(m_mutex);
            auto entry = std::find_if(m_entries.begin(), m_entries.end(), [&](const Entry& e) { return e.serial == job.serial; });
            if (entry == m_entries.end())
                continue;
            if (rendered.ended) {
                m_entries.erase(entry);
                ended.push_back(Ended { end, job.voice });
            } else {
                // Whatever it could not give (a pause or stop racing with us) is not asked again.
                entry->cursor = frameEnd;
            }
        }
        jobs.clear();

        std::stable_sort(ended.begin(), ended.end(), [](const Ended& a, const Ended& b) { return a.frame < b.frame; });
        for (Ended& end : ended) {
            {
                std::lock_guard lock(m_mutex);
                m_inCallback = true;
                m_callbackThread = std::this_thread::get_id();
                m_callbackFrame = end.frame;
            }
            end.voice->reachedEnd();
            std::lock_guard lock(m_mutex);
            m_inCallback = false;
        }
        ended.clear();
    }

    std::int64_t written = reached;
    {
        std::lock_guard lock(m_mutex);
        if (!m_entries.empty())
            written = frameEnd;
    }
    const auto count = static_cast<size_t>(written - frameStart) * channels;
    m_outputBuffer.resize(count);
    for (size_t i = 0; i < count; ++i)
        m_outputBuffer[i] = saturate(m_mix[i]);
    bool ok = m_sink->write(m_outputBuffer);

    bool drained = false;
    {
        std::lock_guard lock(m_mutex);
        m_rendered = written;
        if (!ok)
            useClockPacedSinkLocked("the sound output failed", m_format);
        else
            drained = m_entries.empty();
    }
    // Once open, the sink is replaced only here, with the render lock held.
    if (drained)
        m_sink->flush();
}

void AudioMixer::flush()
{
    std::lock_guard render(m_renderMutex);
    AudioSink* sink = nullptr;
    {
        // Once open, the sink is replaced only while rendering, which the render lock keeps out.
        std::lock_guard lock(m_mutex);
        if (!m_open)
            return;
        sink = m_sink.get();
    }
    sink->flush();
}

} // namespace lorvantine
