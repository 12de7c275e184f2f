#pragma once

#include <nlohmann/json.hpp>

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine::test {

// One request as the stand-in speech server logged it.
struct SpeechServerRequest {
    uint64_t order = 0;
    std::string method;
    std::string path;
    std::map<std::string, std::string> headers;
    std::string body;
    int status = 0; // 0 while the answer is still being made
    std::string fault;
    // How many requests the server was handling when this one arrived, itself included.
    int concurrency = 0;
    double arrivalMs = 0;
    std::optional<double> completionMs;
    std::optional<std::string> voiceCode;
    std::optional<std::string> language;
    std::optional<std::string> input;
    std::optional<std::string> processedText;

    std::optional<std::string> header(const std::string& name) const;
};

// The stand-in speech server (`lorvantine-speech-server` in the build directory) as a child
// process on a free loopback port, for the life of this object. Faults are set and the request
// log read over its control endpoints. Every wait is in real time and bounded; a failure is
// reported to GoogleTest and leaves the object not running, never hanging the test.
class SpeechServerProcess {
public:
    enum class Speech {
        canned,      // a tone at once: fast, for tests of the protocol
        synthesised, // espeak-ng speech with real word timings
    };
    enum class ServerLog { hidden, shown };
    struct Options {
        Speech speech = Speech::canned;
        // The server's own standard-error lines.
        ServerLog serverLog = ServerLog::hidden;
        // Further command-line arguments, e.g. {"--fault", "503x2"}.
        std::vector<std::string> arguments;
    };

    static constexpr const char* speechPath = "/api/captioned_speech_partly";

    SpeechServerProcess() : SpeechServerProcess(Options {}) {}
    explicit SpeechServerProcess(Options options);
    // Stops the server (SIGTERM, then SIGKILL if it lingers).
    ~SpeechServerProcess();
    // Sends `signal` and waits for the end: the exit status, or none when the server did not
    // exit by itself within a few seconds (it is then killed) or was not running.
    std::optional<int> stop(int signal);
    // Runs the server with `arguments` to its end (for option errors): its exit status, or -1.
    static int runToExit(const std::vector<std::string>& arguments);
    SpeechServerProcess(const SpeechServerProcess&) = delete;
    SpeechServerProcess& operator=(const SpeechServerProcess&) = delete;

    bool isRunning() const { return m_pid > 0 && m_port > 0; }
    int port() const { return m_port; }
    // "http://127.0.0.1:N", the form a client's base address takes.
    std::string baseURL() const;

    // POST /control: {"fault": "503", "count": 2}, {"delayMs": 300}, {"hold": true}, {"release": 1},
    // {"timestampVariant": "start"}, {"audioMember": "audio_base64"}, {"textMembers": "no_processed"}
    // ... Returns the server's objection when it refused the object.
    std::optional<std::string> control(const nlohmann::json& object);
    // A fault as --fault names it: "503x2", "404", "html", "empty", "array", "no_audio",
    // "bad_base64", "base64_newlines", "no_progress".
    std::optional<std::string> fault(const std::string& name) { return control({{"fault", name}}); }
    // Clears the fault plan and the log.
    void reset();

    // Every logged request, in arrival order.
    std::vector<SpeechServerRequest> requests();
    // Only those to the speech path.
    std::vector<SpeechServerRequest> speechRequests();
    // Waits until at least `count` speech requests have been answered; false on time-out.
    bool waitForAnsweredSpeechRequests(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

private:
    std::optional<std::string> get(const std::string& path);
    std::optional<std::string> post(const std::string& path, const std::string& body);

    pid_t m_pid = -1;
    int m_port = 0;
};

} // namespace lorvantine::test
