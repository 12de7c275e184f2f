#include "Core/ArticleReader.h"
#include "Network/TTSClient.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Preferences/PreferencesModel.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"
#include "TestSupport/SpeechServerProcess.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <optional>

using namespace lorvantine;

// The whole reading road in real time against the canned stand-in server (which answers far
// faster than real time): a window of short paragraphs read by a reading session, its audio
// going to an output that notes when each sample arrives.
//
//   startToFirstSample  startReading → the first non-silent sample handed to the output, less the
//                       server's own time for the first answer (arrival to completion in its log).
//   silence between paragraphs, per join:
//     output_idle_ms    time the output had nothing to play (the mixer filled it with silence);
//     zero_run_ms       every run of 2 ms or more of zero samples between the first and the last
//                       sound, the pieces' own silence included (a canned answer decodes with
//                       3.8 ms of silence at its start).
// The argument is the playback rate in tenths.

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

constexpr int paragraphCount = 5;
const char* const paragraphTexts[paragraphCount] = {
    "Walk slowly today.", "Read one page aloud.", "Stop at the corner.", "Look at the trees.", "Come back for tea.",
};

// A clock-paced output that keeps the time of the first sound and the silences after it.
class ProbeSink final : public AudioSink {
public:
    struct Shared {
        std::mutex mutex;
        int sampleRate = 0;
        std::optional<SteadyTime> firstSound;
        size_t framesSinceSound = 0;
        // Silent stretches after the first sound: (start in frames since it, length in frames).
        std::vector<std::pair<size_t, size_t>> silences;
        size_t lastSoundEnd = 0;
        // Frames of silence the mixer wrote after the first sound, and those of them before the
        // last sound (the idle output at the end is not a join).
        size_t idleFrames = 0;
        size_t idleBeforeLastSound = 0;
    };

    explicit ProbeSink(std::shared_ptr<Shared> shared) : m_shared(std::move(shared)) { }

    Pacing pacing() const override { return Pacing::clock; }
    bool open(const AudioFormat& preferred, AudioFormat& actual, std::string&) override
    {
        actual = preferred;
        std::lock_guard lock(m_shared->mutex);
        m_shared->sampleRate = preferred.sampleRate;
        return true;
    }
    bool write(std::span<const std::int16_t> samples) override
    {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(m_shared->mutex);
        Shared& s = *m_shared;
        for (std::int16_t sample : samples) {
            if (sample != 0) {
                if (!s.firstSound)
                    s.firstSound = now;
                const size_t zeros = s.framesSinceSound - s.lastSoundEnd;
                // A tone crosses zero now and then; only a run of 2 ms or more is silence.
                if (zeros >= static_cast<size_t>(s.sampleRate / 500))
                    s.silences.emplace_back(s.lastSoundEnd, zeros);
                s.idleBeforeLastSound = s.idleFrames;
                s.lastSoundEnd = s.framesSinceSound + 1;
            }
            if (s.firstSound)
                ++s.framesSinceSound;
        }
        return true;
    }
    void writeSilence(size_t frames) override
    {
        std::lock_guard lock(m_shared->mutex);
        if (m_shared->firstSound) {
            m_shared->framesSinceSound += frames;
            m_shared->idleFrames += frames;
        }
    }

private:
    std::shared_ptr<Shared> m_shared;
};

struct Stage {
    test::SpeechServerProcess server;
    std::shared_ptr<TTSClient> client;
    std::shared_ptr<SimDesktop> desktop;
    std::shared_ptr<SimWindowHost> host;
    std::shared_ptr<InMemoryUserDefaults> defaults = std::make_shared<InMemoryUserDefaults>();
    AXElement window;
    std::vector<ArticleParagraph> paragraphs;

    Stage()
    {
        RunLoop::adoptCurrentThreadAsMain();
        Clock::install(std::make_shared<SteadyClock>());
        PreferencesModel::installDefaults(defaults);
        client = TTSClient::make("af_heart", { .timeZoneIdentifier = "Europe/Berlin", .usBaseURL = server.baseURL(), .cnBaseURL = server.baseURL() });

        desktop = SimDesktop::create();
        desktop->install();
        host = SimWindowHost::install(desktop);
        const ProcessID pid = desktop->addApplication({ .bundleIdentifier = "com.example.Reader", .localizedName = "Reader", .active = true });
        const uint32_t number = desktop->addWindow(pid, SimWindow { .title = "Walks", .frame = Rect(100, 60, 700, 600), .main = true });
        window = desktop->windowElement(number);
        for (int i = 0; i < paragraphCount; ++i) {
            AXElement element = desktop->addElement(window, SimElement("AXStaticText", paragraphTexts[i]));
            paragraphs.push_back(ArticleParagraph { .index = i, .text = paragraphTexts[i], .frame = desktop->frameOf(element).value_or(Rect {}),
                                                    .role = "AXStaticText", .element = element });
        }
    }
};

Stage& stage()
{
    static Stage* made = new Stage;
    return *made;
}

void readingRoad(benchmark::State& state)
{
    Log::Capture quiet;
    Stage& s = stage();
    const float rate = static_cast<float>(state.range(0)) / 10.0f;
    s.defaults->set(PreferencesModel::Key::defaultSpeedEn, rate);
    auto reader = ArticleReader::create(s.client);
    bool finished = false;
    reader->onFinished = [&] { finished = true; };

    double overheadSum = 0, serverSum = 0, gapSum = 0, gapMax = 0, idleSum = 0;
    size_t joins = 0;
    for (auto _ : state) {
        s.server.reset();
        auto probe = std::make_shared<ProbeSink::Shared>();
        AudioOutput::useMixer(AudioMixer::make(std::make_unique<ProbeSink>(probe)));
        finished = false;

        const SteadyTime started = std::chrono::steady_clock::now();
        reader->startReading("Walks", s.window, s.paragraphs, "com.example.Reader");
        if (!RunLoop::runUntil([&] { return finished; }, seconds(60))) {
            state.SkipWithError("the reading did not finish");
            break;
        }

        auto requests = s.server.speechRequests();
        const double serverMs = requests.empty() || !requests.front().completionMs ? 0 : *requests.front().completionMs - requests.front().arrivalMs;
        std::lock_guard lock(probe->mutex);
        if (!probe->firstSound) {
            state.SkipWithError("nothing was heard");
            break;
        }
        const double firstMs = std::chrono::duration<double, std::milli>(*probe->firstSound - started).count();
        state.SetIterationTime((firstMs - serverMs) / 1000.0);
        overheadSum += firstMs - serverMs;
        serverSum += serverMs;
        for (const auto& [start, length] : probe->silences) {
            const double ms = 1000.0 * static_cast<double>(length) / probe->sampleRate;
            gapSum += ms;
            gapMax = std::max(gapMax, ms);
        }
        idleSum += 1000.0 * static_cast<double>(probe->idleBeforeLastSound) / probe->sampleRate;
        joins += paragraphCount - 1;
        AudioOutput::useMixer(nullptr);
    }
    reader->stop();
    Dispatch::waitUntilIdle();

    const double n = static_cast<double>(state.iterations());
    state.counters["start_to_first_sample_ms"] = overheadSum / n;
    state.counters["server_first_answer_ms"] = serverSum / n;
    state.counters["output_idle_per_join_ms"] = joins ? idleSum / static_cast<double>(joins) : 0;
    state.counters["zero_run_per_join_ms"] = joins ? gapSum / static_cast<double>(joins) : 0;
    state.counters["longest_zero_run_ms"] = gapMax;
}
BENCHMARK(readingRoad)->Arg(10)->Arg(20)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
