#include "Audio/AudioPlayer.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Dispatch/Clock.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "TestSupport/Mp3Fixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <optional>

using namespace lorvantine;

namespace {

constexpr int sampleRate = 24000;

const std::vector<std::uint8_t>& toneOf(double seconds)
{
    static std::map<double, std::vector<std::uint8_t>> cache;
    auto& mp3 = cache[seconds];
    if (mp3.empty())
        mp3 = Mp3Fixture::toneMp3(440, seconds, sampleRate);
    return mp3;
}

double threadCpuSeconds()
{
    timespec now {};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

// A clock-paced output that notes what reaches it and when, in real time.
class ProbeSink final : public AudioSink {
public:
    struct Shared {
        std::mutex mutex;
        std::condition_variable changed;
        size_t frames = 0;
        size_t silentFrames = 0;
        std::optional<std::chrono::steady_clock::time_point> firstSound;
    };

    explicit ProbeSink(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) { }

    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string&) override
    {
        actual = preferred;
        return true;
    }
    bool write(std::span<const std::int16_t> samples) override
    {
        auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(m_shared->mutex);
        if (!m_shared->firstSound && std::any_of(samples.begin(), samples.end(), [](std::int16_t s) { return s != 0; }))
            m_shared->firstSound = now;
        m_shared->frames += samples.size();
        m_shared->changed.notify_all();
        return true;
    }
    void writeSilence(size_t frames) override
    {
        std::lock_guard lock(m_shared->mutex);
        // Before the first sound it is the start's latency, measured on its own.
        if (m_shared->firstSound)
            m_shared->silentFrames += frames;
        m_shared->frames += frames;
    }

private:
    std::shared_ptr<Shared> m_shared;
};

struct Environment {
    Environment()
    {
        PreferencesModel::installDefaults(std::make_shared<InMemoryUserDefaults>());
        PreferencesModel::defaults().set(PreferencesModel::Key::defaultSpeed, 1.0f);
    }
};

void useSteadyClock()
{
    static Environment environment;
    Clock::install(std::make_shared<SteadyClock>());
}

// Decoding a whole piece is what happens between the end of one piece and the start of the next.
void decodePiece(benchmark::State& state)
{
    const auto& mp3 = toneOf(static_cast<double>(state.range(0)));
    AudioOutput::route(AudioOutput::Destination::clockPaced);
    for (auto _ : state) {
        ErrorValue error;
        benchmark::DoNotOptimize(AudioOutput::makePlayer(mp3, error));
    }
    state.counters["audio_s"] = static_cast<double>(state.range(0));
}
BENCHMARK(decodePiece)->Arg(1)->Arg(5)->Arg(15)->Arg(30)->Unit(benchmark::kMillisecond);

// Real time: a short piece, then a long one whose decoding falls right at the join. Counts the
// silence the output had to insert there (nothing was ready when the listener needed it).
void joinGap(benchmark::State& state)
{
    useSteadyClock();
    Log::Capture quiet;
    const double secondPiece = static_cast<double>(state.range(0));
    double silenceMilliseconds = 0;
    for (auto _ : state) {
        auto shared = std::make_shared<ProbeSink::Shared>();
        AudioOutput::useMixer(AudioMixer::make(std::make_unique<ProbeSink>(shared)));
        auto player = AudioPlayer::create();
        AudioSegment first;
        first.mp3Data = toneOf(0.3);
        AudioSegment second;
        second.mp3Data = toneOf(secondPiece);
        second.textOffsetInParagraph = 10;
        player->enqueue(first);
        player->enqueue(second);
        const size_t pastTheJoin = static_cast<size_t>(0.4 * sampleRate);
        {
            std::unique_lock lock(shared->mutex);
            shared->changed.wait_for(lock, std::chrono::seconds(5), [&] { return shared->frames >= pastTheJoin; });
            silenceMilliseconds += 1000.0 * static_cast<double>(shared->silentFrames) / sampleRate;
        }
        player->stop();
        AudioOutput::useMixer(nullptr);
    }
    state.counters["silence_ms_per_join"] = silenceMilliseconds / static_cast<double>(state.iterations());
}
BENCHMARK(joinGap)->Arg(5)->Arg(30)->Iterations(5)->Unit(benchmark::kMillisecond);

// Real time from handing the player its first piece to the first sample reaching the output.
void firstSampleLatency(benchmark::State& state)
{
    useSteadyClock();
    Log::Capture quiet;
    const auto& mp3 = toneOf(static_cast<double>(state.range(0)));
    auto shared = std::make_shared<ProbeSink::Shared>();
    AudioOutput::useMixer(AudioMixer::make(std::make_unique<ProbeSink>(shared)));
    for (auto _ : state) {
        {
            std::lock_guard lock(shared->mutex);
            shared->firstSound.reset();
        }
        auto player = AudioPlayer::create();
        AudioSegment segment;
        segment.mp3Data = mp3;
        auto started = std::chrono::steady_clock::now();
        player->enqueue(segment);
        std::unique_lock lock(shared->mutex);
        shared->changed.wait_for(lock, std::chrono::seconds(2), [&] { return shared->firstSound.has_value(); });
        auto heard = shared->firstSound.value_or(std::chrono::steady_clock::now() + std::chrono::hours(1));
        lock.unlock();
        state.SetIterationTime(std::chrono::duration<double>(heard - started).count());
        player->stop();
    }
    AudioOutput::useMixer(nullptr);
}
BENCHMARK(firstSampleLatency)->Arg(5)->Arg(15)->UseManualTime()->Iterations(20)->Unit(benchmark::kMillisecond);

// Processor time per second of audio: decoding, tempo change and mixing, on the manual clock
// so that nothing waits. The argument is the rate in hundredths.
void cpuPerAudioSecond(benchmark::State& state)
{
    static Environment environment;
    auto clock = std::make_shared<ManualClock>();
    auto previous = Clock::install(clock);
    AudioOutput::route(AudioOutput::Destination::clockPaced);
    const float rate = static_cast<float>(state.range(0)) / 100.0f;
    const double seconds = 20;
    const auto& mp3 = toneOf(seconds);
    double cpu = 0;
    for (auto _ : state) {
        double before = threadCpuSeconds();
        ErrorValue error;
        auto player = AudioOutput::makePlayer(mp3, error);
        bool finished = false;
        player->onFinish = [&](AudioPlayerPort&, bool) { finished = true; };
        player->setEnableRate(true);
        player->setRate(rate);
        player->play();
        clock->advance(lorvantine::seconds(seconds / rate + 0.1));
        cpu += threadCpuSeconds() - before;
        if (!finished)
            state.SkipWithError("the piece did not finish");
    }
    state.counters["cpu_ms_per_audio_s"] = 1000.0 * cpu / (seconds * static_cast<double>(state.iterations()));
    state.counters["cpu_percent_while_playing"] = 100.0 * cpu * rate / (seconds * static_cast<double>(state.iterations()));
    Clock::install(previous);
}
BENCHMARK(cpuPerAudioSecond)->Arg(100)->Arg(150)->Arg(200)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
