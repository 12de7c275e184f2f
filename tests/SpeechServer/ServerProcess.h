#pragma once

#include <httplib.h>
#include <nlohmann/json.hpp>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace lorvantine::speechserver::testing {

// The built speech server running as a child process on a port it picked itself.
// The child is terminated (SIGTERM, then SIGKILL) when this object goes away, and also
// when the test process dies.
class ServerProcess {
public:
    explicit ServerProcess(std::vector<std::string> arguments = {});
    ~ServerProcess();

    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    bool running() const { return port_ > 0; }
    int port() const { return port_; }
    httplib::Client client() const;

    // Sends the signal and waits for the exit; the exit status, or nullopt when it was
    // killed by a signal or did not end within a few seconds.
    std::optional<int> stop(int signal);

    // Runs the server binary to completion (for option errors); its exit status.
    static int runToExit(const std::vector<std::string>& arguments);

    static std::string binaryPath();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int output_ = -1;
};

// One speech request as the speech client sends it.
nlohmann::json speechRequest(const std::string& input, const std::string& voice = "af_heart", const std::string& language = "en");

struct SpeechReply {
    int status = 0;
    std::string contentType;
    std::string body;
    nlohmann::json json;  // discarded when the body is not JSON
};

SpeechReply postSpeech(const ServerProcess& server, const nlohmann::json& request);
SpeechReply postSpeech(const ServerProcess& server, const std::string& rawBody);

struct Timestamp {
    std::string word;
    double start = 0;
    double end = 0;
};

// The "timestamps" of a normal answer ("word", "start_time", "end_time").
std::vector<Timestamp> timestampsOf(const nlohmann::json& answer);

// POST /control; the status of the answer.
int control(const ServerProcess& server, const nlohmann::json& settings);
void reset(const ServerProcess& server);
nlohmann::json requestLog(const ServerProcess& server);

}
