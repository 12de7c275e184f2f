#pragma once

#include "Platform/Backends/AudioFormat.h"
#include "Platform/Backends/AudioSink.h"
#include "Platform/Dispatch/Clock.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace lorvantine {

// One output stream shared by every player routed to it. The mixer keeps a timeline of output
// frames: each playing voice has a cursor on it, and the mixer renders the voices into the sink
// chunk by chunk. When a voice ends inside a chunk the mixer tells it at once, and a voice started
// from that notification begins on the very frame where the other ended, so pieces played one
// after another join without a gap.
//
// Pacing: a device sink is fed by the mixer's thread as fast as the device takes samples. A
// clock-paced sink is fed a little ahead of the installed clock by the same thread, or, when the
// installed clock is a manual one, by the thread that moves that clock, during the move: then
// everything that time reaches has been played, and its notifications delivered, when the move
// returns. When rendering falls behind a clock-paced listener, the time lost is silence (and is
// recorded as such), as on a device that ran dry. Voices are told of their end outside every lock
// of the mixer; the mixer's lock comes after a voice's own.
class AudioMixer : public std::enable_shared_from_this<AudioMixer> {
public:
    // What the mixer plays: a source of samples rendered on demand.
    class Voice {
    public:
        struct Rendered {
            size_t frames = 0;
            // The voice has nothing more to play.
            bool ended = false;
        };
        virtual ~Voice() = default;
        // Up to `frames` frames in `format` into `out`; the first is heard at timeline frame `at`.
        virtual Rendered render(std::int16_t* out, size_t frames, const AudioFormat& format, std::int64_t at) = 0;
        // The last render ended the voice; it is no longer in the mixer.
        virtual void reachedEnd() = 0;
    };

    static std::shared_ptr<AudioMixer> make(std::unique_ptr<AudioSink> sink);
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    // Opens the sink on first use with the format of the first piece; answers the format of the
    // output, which later pieces are converted to. A sink that cannot open is replaced by the
    // clock-paced one (with a log line), so this always answers a usable format.
    AudioFormat open(const AudioFormat& preferred);
    // Starts or resumes `voice`; answers the timeline frame where it begins.
    std::int64_t start(const std::shared_ptr<Voice>& voice);
    void remove(const Voice& voice);
    // The timeline frame being heard now.
    std::int64_t heardFrame();
    // Makes what the sink was given whole for a reader (the end of the process), after the chunk
    // being rendered, if any. The mixer does the same itself whenever its last voice has ended.
    void flush();

private:
    struct Entry {
        std::weak_ptr<Voice> voice;
        const Voice* identity = nullptr;
        std::int64_t cursor = 0;
        std::uint64_t serial = 0;
    };
    struct ThreadState {
        std::mutex mutex;
        std::condition_variable wakeup;
        bool wake = false;
        bool shutdown = false;
    };

    explicit AudioMixer(std::unique_ptr<AudioSink> sink);

    bool clockPacedLocked() const { return m_sink->pacing() == AudioSink::Pacing::clock; }
    void bindClockLocked();
    std::int64_t clockFrameLocked() const;
    TimePoint timeOfFrameLocked(std::int64_t frame) const;
    void useClockPacedSinkLocked(const std::string& reason, AudioFormat format);
    void wakeThreadLocked();

    void clockMoved();
    struct Service {
        // False: nothing for the thread to do until woken.
        bool busy = false;
        // When the output next needs samples (on the steady clock, the only one the thread serves).
        std::optional<TimePoint> sleepUntil;
    };
    // One step of the mixer's thread.
    Service serviceOutput();
    void renderUntil(std::int64_t target);
    // Renders [frameStart, frameEnd) or less, when every voice ends before frameEnd.
    void renderChunk(std::int64_t frameStart, std::int64_t frameEnd);
    static void threadMain(std::weak_ptr<AudioMixer> mixer, std::shared_ptr<ThreadState> state);

    std::mutex m_mutex;
    std::unique_ptr<AudioSink> m_sink;
    bool m_open = false;
    AudioFormat m_format;
    std::vector<Entry> m_entries;
    std::uint64_t m_nextSerial = 0;
    std::int64_t m_rendered = 0;

    Clock* m_clock = nullptr;
    std::shared_ptr<void> m_clockListener;
    bool m_manualClock = false;
    TimePoint m_epoch {};

    bool m_inCallback = false;
    std::thread::id m_callbackThread;
    std::int64_t m_callbackFrame = 0;

    std::shared_ptr<ThreadState> m_threadState;
    std::thread m_thread;

    // Serialises rendering; the buffers belong to it.
    std::mutex m_renderMutex;
    std::vector<std::int32_t> m_mix;
    std::vector<std::int16_t> m_voiceBuffer;
    std::vector<std::int16_t> m_outputBuffer;
};

namespace AudioOutput {

// Sends the players made from now on to `mixer` instead of the routed output (benchmarks that
// watch the output through a sink of their own). Null goes back to the route.
void useMixer(std::shared_ptr<AudioMixer> mixer);

} // namespace AudioOutput
} // namespace lorvantine
