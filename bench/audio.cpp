#include "Audio/AudioPlayer.h"
#include "Platform/AudioOutputPort.h"
#include "Platform/Backends/AudioMixer.h"
#include "Platform/Backends/InMemoryUserDefaults.h"
#include "Platform/Backends/Mp3Decoder.h"
#include "Platform/Backends/TempoStretcher.h"
#include "Platform/Dispatch/Clock.h"
#include "Preferences/PreferencesModel.h"
#include "Support/Log.h"
#include "TestSupport/Mp3Fixture.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

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

// --- Decoding and stretching a long piece into a WAV file, side by side with the command-line
// pair that does the same: a decoder writing PCM into a pipe and a time stretcher reading it and
// writing the file (`mpg123 -w - in.mp3 | soundstretch stdin out.wav -tempo=50`). Where those two
// tools are not installed, this program stands in for each of them on the same libraries, as a
// process of its own, writing as they do: PCM in 16 KiB blocks, the WAV file through stdio.
// Each is timed by the processor time it takes (the pair: both processes), so the figures
// compare the work done, not how the two processes overlap.

constexpr double pairInputSeconds = 100;
constexpr double pairRate = 1.5;

std::filesystem::path scratchPath(const std::string& name)
{
    return std::filesystem::temp_directory_path() / ("lorvantine-bench-" + std::to_string(::getpid()) + "-" + name);
}

const std::filesystem::path& pairMp3()
{
    static const std::filesystem::path path = [] {
        auto file = scratchPath("speech.mp3");
        const auto& mp3 = toneOf(pairInputSeconds);
        std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(mp3.data()), static_cast<std::streamsize>(mp3.size()));
        return file;
    }();
    return path;
}

bool onPath(const char* tool)
{
    const char* path = std::getenv("PATH");
    std::string directories = path ? path : "";
    for (size_t start = 0; start <= directories.size();) {
        size_t end = directories.find(':', start);
        if (end == std::string::npos)
            end = directories.size();
        if (end > start && ::access((directories.substr(start, end - start) + "/" + tool).c_str(), X_OK) == 0)
            return true;
        start = end + 1;
    }
    return false;
}

// The stand-in decoder: the MP3 file's PCM to standard output.
int pairDecode(const char* mp3Path)
{
    std::ifstream in(mp3Path, std::ios::binary);
    std::vector<std::uint8_t> mp3((std::istreambuf_iterator<char>(in)), {});
    auto decoded = Mp3Decoder::decode(mp3);
    if (!decoded)
        return 1;
    const auto* bytes = reinterpret_cast<const char*>(decoded->samples.data());
    size_t left = decoded->samples.size() * sizeof(std::int16_t);
    while (left > 0) {
        ssize_t written = ::write(STDOUT_FILENO, bytes, std::min<size_t>(left, 16384));
        if (written <= 0)
            return 1;
        bytes += written;
        left -= static_cast<size_t>(written);
    }
    return 0;
}

// The stand-in stretcher: mono PCM from standard input at `rate`, stretched to `tempo`, into a
// WAV file whose header is written once the length is known.
int pairStretch(const char* tempo, const char* wavPath)
{
    std::FILE* out = std::fopen(wavPath, "wb");
    if (!out)
        return 1;
    unsigned char header[44] = {};
    std::fwrite(header, 1, sizeof header, out);
    TempoStretcher stretcher(sampleRate, sampleRate, 1);
    stretcher.setTempo(std::atof(tempo));
    std::vector<std::int16_t> input(6720);
    std::vector<float> floats(6720);
    std::vector<std::int16_t> output(6720);
    std::uint32_t dataBytes = 0;
    auto drain = [&] {
        for (size_t frames; (frames = stretcher.receive(floats.data(), floats.size())) > 0;) {
            for (size_t i = 0; i < frames; ++i)
                output[i] = static_cast<std::int16_t>(std::clamp(floats[i] * 32768.0f, -32768.0f, 32767.0f));
            std::fwrite(output.data(), sizeof(std::int16_t), frames, out);
            dataBytes += static_cast<std::uint32_t>(frames * sizeof(std::int16_t));
        }
    };
    for (;;) {
        ssize_t got = ::read(STDIN_FILENO, input.data(), input.size() * sizeof(std::int16_t));
        if (got <= 0)
            break;
        const size_t frames = static_cast<size_t>(got) / sizeof(std::int16_t);
        for (size_t i = 0; i < frames; ++i)
            floats[i] = static_cast<float>(input[i]) / 32768.0f;
        stretcher.put(floats.data(), frames);
        drain();
    }
    stretcher.flush();
    drain();
    auto put32 = [&](size_t at, std::uint32_t value) { std::memcpy(header + at, &value, 4); };
    auto put16 = [&](size_t at, std::uint16_t value) { std::memcpy(header + at, &value, 2); };
    std::memcpy(header, "RIFF", 4);
    put32(4, 36 + dataBytes);
    std::memcpy(header + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, sampleRate);
    put32(28, sampleRate * 2);
    put16(32, 2);
    put16(34, 16);
    std::memcpy(header + 36, "data", 4);
    put32(40, dataBytes);
    std::fseek(out, 0, SEEK_SET);
    std::fwrite(header, 1, sizeof header, out);
    return std::fclose(out) == 0 ? 0 : 1;
}

std::string selfPath()
{
    std::error_code error;
    return std::filesystem::read_symlink("/proc/self/exe", error).string();
}

double childrenCpuSeconds()
{
    rusage usage {};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// Runs `first | second`; true when both end with status 0.
bool runPipeline(std::vector<std::string> first, std::vector<std::string> second)
{
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0)
        return false;
    auto spawn = [&](std::vector<std::string>& words, int in, int out) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (in >= 0)
            posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
        if (out >= 0)
            posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        return pid;
    };
    pid_t writer = spawn(first, -1, pipeEnds[1]);
    pid_t reader = spawn(second, pipeEnds[0], -1);
    ::close(pipeEnds[0]);
    ::close(pipeEnds[1]);
    bool ok = writer > 0 && reader > 0;
    for (pid_t pid : { writer, reader }) {
        int status = 0;
        if (pid > 0 && (::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0))
            ok = false;
    }
    return ok;
}

void reportPair(benchmark::State& state, double cpu, double wall)
{
    const double audio = pairInputSeconds / pairRate * static_cast<double>(state.iterations());
    state.counters["cpu_ms_per_audio_s"] = 1000.0 * cpu / audio;
    state.counters["wall_ms"] = 1000.0 * wall / static_cast<double>(state.iterations());
}

// The command-line pair, in processor time of its two processes.
void commandLinePair(benchmark::State& state)
{
    const bool tools = onPath("mpg123") && onPath("soundstretch");
    const std::string mp3 = pairMp3().string();
    const std::string wav = scratchPath("pair.wav").string();
    const std::string self = selfPath();
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        const double before = childrenCpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        const bool ok = tools ? runPipeline({ "mpg123", "-q", "-w", "-", mp3 }, { "soundstretch", "stdin", wav, "-tempo=" + std::to_string(static_cast<int>((pairRate - 1) * 100)) })
                              : runPipeline({ self, "--pair-decode", mp3 }, { self, "--pair-stretch", std::to_string(pairRate), wav });
        const double spent = childrenCpuSeconds() - before;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        cpu += spent;
        state.SetIterationTime(spent);
        if (!ok)
            state.SkipWithError("the pipeline failed");
    }
    reportPair(state, cpu, wall);
    state.SetLabel(tools ? "mpg123 | soundstretch" : "stand-ins on libmpg123 and SoundTouch");
    std::filesystem::remove(wav);
}
BENCHMARK(commandLinePair)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

// The player's road on the manual clock, so that nothing waits: decoding, stretching and mixing
// into the routed output, a WAV file (argument 1) or the silent output (0).
void playerIntoOutput(benchmark::State& state)
{
    static Environment environment;
    const bool toFile = state.range(0) == 1;
    auto clock = std::make_shared<ManualClock>();
    auto previous = Clock::install(clock);
    const auto& mp3 = toneOf(pairInputSeconds);
    const std::string wav = scratchPath("player.wav").string();
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        AudioOutput::route(toFile ? AudioOutput::Destination::wavFile : AudioOutput::Destination::clockPaced, wav);
        const double before = threadCpuSeconds();
        const auto started = std::chrono::steady_clock::now();
        ErrorValue error;
        auto player = AudioOutput::makePlayer(mp3, error);
        bool finished = false;
        player->onFinish = [&](AudioPlayerPort&, bool) { finished = true; };
        player->setEnableRate(true);
        player->setRate(static_cast<float>(pairRate));
        player->play();
        clock->advance(lorvantine::seconds(pairInputSeconds / pairRate + 0.1));
        player.reset();
        // Closes the file: its last header goes in the time measured.
        AudioOutput::route(AudioOutput::Destination::clockPaced);
        const double spent = threadCpuSeconds() - before;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        cpu += spent;
        state.SetIterationTime(spent);
        if (!finished)
            state.SkipWithError("the piece did not finish");
    }
    reportPair(state, cpu, wall);
    state.SetLabel(toFile ? "into a WAV file" : "without a file");
    std::filesystem::remove(wav);
    Clock::install(previous);
}
BENCHMARK(playerIntoOutput)->Arg(1)->Arg(0)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // The stand-ins for the command-line pair run as processes of this program.
    if (argc == 3 && std::strcmp(argv[1], "--pair-decode") == 0)
        return pairDecode(argv[2]);
    if (argc == 4 && std::strcmp(argv[1], "--pair-stretch") == 0)
        return pairStretch(argv[2], argv[3]);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(scratchPath("speech.mp3"), ignored);
    return 0;
}
