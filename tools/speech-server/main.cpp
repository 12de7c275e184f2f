// The stand-in speech server: answers the speech client's protocol with real espeak-ng
// speech (or canned audio) and lets tests inject faults at run time.

#include "CannedVoice.h"
#include "Mp3Encoder.h"
#include "SpeechServer.h"
#include "Synthesizer.h"

#include <pthread.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

using namespace lorvantine::speechserver;

namespace {

constexpr const char* usage =
    "usage: lorvantine-speech-server [--port N] [--canned] [--fault SPEC] [--control JSON]\n"
    "  --port N        listen on 127.0.0.1:N (default: a free port)\n"
    "  --canned        answer at once with a tone instead of synthesised speech\n"
    "  --fault SPEC    start with a fault, e.g. 503x2, 404, html, empty, array, no_audio,\n"
    "                  bad_base64, base64_newlines, no_progress, silent, hangup\n"
    "  --control JSON  start with a control object, as POST /control takes it\n"
    "Prints \"port=N\" on standard output once it accepts connections.\n";

struct Options {
    int port = 0;
    bool canned = false;
    std::vector<std::string> faults;
    std::vector<std::string> controls;
};

bool parseOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        bool hasValue = i + 1 < argc;
        if (argument == "--canned") {
            options.canned = true;
        } else if (argument == "--port" && hasValue) {
            char* end = nullptr;
            long port = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || port < 0 || port > 65535)
                return false;
            options.port = static_cast<int>(port);
        } else if (argument == "--fault" && hasValue) {
            options.faults.emplace_back(argv[++i]);
        } else if (argument == "--control" && hasValue) {
            options.controls.emplace_back(argv[++i]);
        } else {
            return false;
        }
    }
    return true;
}

SpeechServer::Speak makeSpeak(bool canned, std::string& error)
{
    if (canned) {
        std::shared_ptr<CannedVoice> voice = CannedVoice::create(error);
        if (!voice)
            return nullptr;
        return [voice](std::string_view text, std::string_view, double speed) -> std::optional<SpokenAudio> {
            return voice->speak(text, speed);
        };
    }
    std::shared_ptr<Synthesizer> synthesizer = Synthesizer::create(error);
    if (!synthesizer)
        return nullptr;
    return [synthesizer](std::string_view text, std::string_view voiceCode, double speed) -> std::optional<SpokenAudio> {
        auto speech = synthesizer->speak(text, voiceCode, speed);
        if (!speech)
            return std::nullopt;
        auto mp3 = Mp3Encoder::encode(speech->samples, speech->sampleRate, Mp3Encoder::Framing::Gapless);
        if (!mp3)
            return std::nullopt;
        SpokenAudio audio;
        audio.mp3 = std::move(*mp3);
        audio.words = std::move(speech->words);
        audio.durationSeconds = static_cast<double>(speech->samples.size()) / speech->sampleRate;
        return audio;
    };
}

}

int main(int argc, char** argv)
{
    Options options;
    if (!parseOptions(argc, argv, options)) {
        std::fputs(usage, stderr);
        return 2;
    }

    // Signals are taken by one waiting thread, so every other thread (the HTTP workers
    // included) runs with them blocked and shutdown happens in ordinary code.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    auto speak = makeSpeak(options.canned, error);
    if (!speak) {
        std::fprintf(stderr, "[speech-server] %s\n", error.c_str());
        return 1;
    }
    SpeechServer server(std::move(speak));
    for (const auto& fault : options.faults) {
        if (auto problem = server.faultPlan().applySpec(fault)) {
            std::fprintf(stderr, "[speech-server] --fault: %s\n", problem->c_str());
            return 2;
        }
    }
    for (const auto& control : options.controls) {
        auto json = nlohmann::json::parse(control, nullptr, false);
        auto problem = json.is_discarded() ? std::optional<std::string>("not valid JSON") : server.faultPlan().apply(json);
        if (problem) {
            std::fprintf(stderr, "[speech-server] --control: %s\n", problem->c_str());
            return 2;
        }
    }

    auto port = server.bind(options.port);
    if (!port) {
        std::fprintf(stderr, "[speech-server] cannot listen on 127.0.0.1:%d\n", options.port);
        return 1;
    }

    std::atomic<bool> finished{false};
    std::thread signalWaiter([&server, &finished, signals] {
        int received = 0;
        sigwait(&signals, &received);
        // A stop that lands before the accept loop has started is lost, so repeat it.
        while (!finished) {
            server.stop();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });

    std::printf("port=%d\n", *port);
    std::fflush(stdout);
    std::fprintf(stderr, "[speech-server] listening on 127.0.0.1:%d (%s)\n", *port, options.canned ? "canned" : "espeak-ng");

    bool served = server.run();
    finished = true;
    // Wakes the waiter when the server ended on its own; after a signal this is a no-op.
    pthread_kill(signalWaiter.native_handle(), SIGTERM);
    signalWaiter.join();
    return served ? 0 : 1;
}
