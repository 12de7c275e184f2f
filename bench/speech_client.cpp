#include "Network/TTSClient.h"
#include "Platform/Backends/CurlHttpSession.h"
#include "TestSupport/SpeechServerProcess.h"

#include <benchmark/benchmark.h>
#include <curl/curl.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <future>
#include <map>
#include <string>
#include <vector>

using namespace lorvantine;

// What the speech client costs on top of the network. Each iteration fetches the same answer of
// the canned stand-in server (about 200 KB, 1 MB or 2 MB) three times, taking turns at going
// first:
//   bare    one libcurl easy handle: POST, the body appended to a buffer as it comes (the way
//           libcurl's own in-memory example does it), nothing parsed;
//   sized   the same, but the buffer reserved once at the announced length, as the client's
//           transport does: the stricter yardstick;
//   client  TTSClient::requestPart end to end, the answer decoded into a TTSPart.
// Real time, from the start of the exchange to the body in the buffer or to the part in the
// completion (the caller's own wake-up after that is not counted). Repeated; the table at the end
// gives, over every iteration of all repetitions, the medians of the times, of the client's time
// over each bare one, and of its extra time per MB (10^6 bytes) of answer over each. Taken side
// by side rather than in separate runs, so that the server's and the machine's changing pace
// falls on all alike.

namespace {

constexpr const char* input = "Reading aloud takes a moment of patience.";
constexpr int64_t answerSizes[] = {200 << 10, 1 << 20, 2 << 20};

using SteadyClock = std::chrono::steady_clock;

struct Sample {
    double bareSeconds = 0;
    double sizedSeconds = 0;
    double clientSeconds = 0;
    size_t answerBytes = 0;
};
// By answer size asked for.
std::map<int64_t, std::vector<Sample>> samples;

double secondsBetween(SteadyClock::time_point start, SteadyClock::time_point end)
{
    return std::chrono::duration<double>(end - start).count();
}

test::SpeechServerProcess& server()
{
    static test::SpeechServerProcess process;
    return process;
}

struct Download {
    CURL* easy = nullptr;
    bool sized = false;
    std::string body;
};

size_t appendBody(char* data, size_t size, size_t count, void* user)
{
    auto* download = static_cast<Download*>(user);
    curl_off_t announced = -1;
    if (download->sized && download->body.empty()
        && curl_easy_getinfo(download->easy, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced) == CURLE_OK && announced > 0)
        download->body.reserve(static_cast<size_t>(announced));
    download->body.append(data, size * count);
    return size * count;
}

class BareExchange {
public:
    BareExchange()
        : m_url(server().baseURL() + test::SpeechServerProcess::speechPath)
        , m_body(nlohmann::json {{"model", "kokoro"}, {"input", input}, {"voice_code", "af_heart"}, {"response_format", "mp3"},
              {"return_timestamps", true}, {"speed", 1.5}, {"stream", false}, {"language", "en"}}
                     .dump())
    {
        m_headers = curl_slist_append(m_headers, "Content-Type: application/json");
        m_headers = curl_slist_append(m_headers, "Expect:");
        curl_easy_setopt(m_easy, CURLOPT_URL, m_url.c_str());
        curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, m_headers);
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDS, m_body.c_str());
        curl_easy_setopt(m_easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(m_body.size()));
        curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, appendBody);
    }
    ~BareExchange()
    {
        curl_slist_free_all(m_headers);
        curl_easy_cleanup(m_easy);
    }
    BareExchange(const BareExchange&) = delete;
    BareExchange& operator=(const BareExchange&) = delete;

    // Seconds, or a negative number when the exchange failed; `answerBytes` is the body's size.
    double run(bool sized, size_t& answerBytes)
    {
        Download download {m_easy, sized};
        curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, &download);
        const auto start = SteadyClock::now();
        const CURLcode code = curl_easy_perform(m_easy);
        const double seconds = secondsBetween(start, SteadyClock::now());
        answerBytes = download.body.size();
        return code == CURLE_OK ? seconds : -1;
    }

private:
    std::string m_url;
    std::string m_body;
    CURL* m_easy = curl_easy_init();
    curl_slist* m_headers = nullptr;
};

// Seconds, or a negative number when the request failed.
double clientExchange(TTSClient& client)
{
    std::promise<bool> answered;
    SteadyClock::time_point end;
    const auto start = SteadyClock::now();
    client.requestPart(input, "af_heart", [&answered, &end](TTSResult result) {
        end = SteadyClock::now();
        answered.set_value(result && !result->mp3Data.empty());
    });
    return answered.get_future().get() ? secondsBetween(start, end) : -1;
}

void speechAnswer(benchmark::State& state)
{
    if (!server().isRunning() || server().control({{"answerBytes", state.range(0)}})) {
        state.SkipWithError("the stand-in speech server is not running");
        return;
    }
    static BareExchange bare;
    static const std::shared_ptr<TTSClient> client = TTSClient::make("af_heart",
        {.timeZoneIdentifier = "Europe/Berlin", .usBaseURL = server().baseURL(), .session = std::make_shared<CurlHttpSession>()});
    size_t first = 0;
    for (auto _ : state) {
        Sample sample;
        std::array<double, 3> times {};
        for (size_t turn = 0; turn < times.size(); ++turn) {
            const size_t which = (first + turn) % times.size();
            times[which] = which == 2 ? clientExchange(*client) : bare.run(which == 1, sample.answerBytes);
        }
        first = (first + 1) % times.size();
        if (*std::min_element(times.begin(), times.end()) < 0) {
            state.SkipWithError("an exchange failed");
            break;
        }
        sample.bareSeconds = times[0];
        sample.sizedSeconds = times[1];
        sample.clientSeconds = times[2];
        state.SetIterationTime(times[0] + times[1] + times[2]);
        samples[state.range(0)].push_back(sample);
    }
}

BENCHMARK(speechAnswer)->Apply([](benchmark::internal::Benchmark* benchmark) {
    for (int64_t size : answerSizes)
        benchmark->Arg(size);
    benchmark->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(0.3)->Repetitions(20)->ReportAggregatesOnly(true);
});

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    std::printf("\nmedians over all iterations (ratio and extra: the client against bare / sized)\n");
    std::printf("%-12s %6s %9s %9s %9s %15s %17s\n", "answer bytes", "turns", "bare ms", "sized ms", "client ms", "ratio", "extra ms per MB");
    for (const auto& [size, taken] : samples) {
        std::vector<double> bare, sized, client, bareRatio, sizedRatio, bareExtra, sizedExtra;
        for (const Sample& sample : taken) {
            const double megabytes = static_cast<double>(sample.answerBytes) / 1e6;
            bare.push_back(sample.bareSeconds * 1000);
            sized.push_back(sample.sizedSeconds * 1000);
            client.push_back(sample.clientSeconds * 1000);
            bareRatio.push_back(sample.clientSeconds / sample.bareSeconds);
            sizedRatio.push_back(sample.clientSeconds / sample.sizedSeconds);
            bareExtra.push_back((sample.clientSeconds - sample.bareSeconds) * 1000 / megabytes);
            sizedExtra.push_back((sample.clientSeconds - sample.sizedSeconds) * 1000 / megabytes);
        }
        std::printf("%-12zu %6zu %9.3f %9.3f %9.3f %7.3f /%6.3f %8.2f /%7.2f\n", taken.back().answerBytes, taken.size(), median(bare),
            median(sized), median(client), median(bareRatio), median(sizedRatio), median(bareExtra), median(sizedExtra));
    }
    benchmark::Shutdown();
    return 0;
}
