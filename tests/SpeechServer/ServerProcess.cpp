#include "ServerProcess.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace lorvantine::speechserver::testing {

namespace {

pid_t spawn(const std::vector<std::string>& arguments, int* output)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    std::string binary = ServerProcess::binaryPath();
    std::vector<char*> argv{binary.data()};
    std::vector<std::string> copies = arguments;
    for (auto& argument : copies)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        dup2(pipeEnds[1], STDOUT_FILENO);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (pid < 0) {
        close(pipeEnds[0]);
        return -1;
    }
    *output = pipeEnds[0];
    return pid;
}

std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return std::nullopt;
}

}

std::string ServerProcess::binaryPath() { return std::string(LORVANTINE_BINARY_DIR) + "/lorvantine-speech-server"; }

ServerProcess::ServerProcess(std::vector<std::string> arguments)
{
    pid_ = spawn(arguments, &output_);
    if (pid_ < 0)
        return;
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd ready{output_, POLLIN, 0};
        if (poll(&ready, 1, 100) <= 0)
            continue;
        char buffer[256];
        ssize_t count = read(output_, buffer, sizeof buffer);
        if (count <= 0)
            break;
        line.append(buffer, static_cast<std::size_t>(count));
    }
    if (line.rfind("port=", 0) == 0)
        port_ = std::atoi(line.c_str() + 5);
}

ServerProcess::~ServerProcess()
{
    if (pid_ > 0)
        stop(SIGTERM);
    if (output_ >= 0)
        close(output_);
}

std::optional<int> ServerProcess::stop(int signal)
{
    if (pid_ <= 0)
        return std::nullopt;
    kill(pid_, signal);
    auto status = waitForExit(pid_, std::chrono::seconds(5));
    pid_ = -1;
    port_ = 0;
    return status;
}

int ServerProcess::runToExit(const std::vector<std::string>& arguments)
{
    int output = -1;
    pid_t pid = spawn(arguments, &output);
    if (pid < 0)
        return -1;
    auto status = waitForExit(pid, std::chrono::seconds(10));
    close(output);
    return status.value_or(-1);
}

httplib::Client ServerProcess::client() const
{
    httplib::Client client("127.0.0.1", port_);
    client.set_read_timeout(10, 0);
    return client;
}

nlohmann::json speechRequest(const std::string& input, const std::string& voice, const std::string& language)
{
    return {
        {"model", "kokoro"},     {"input", input},          {"voice_code", voice}, {"response_format", "mp3"},
        {"return_timestamps", true}, {"speed", 1.5}, {"stream", false},      {"language", language},
    };
}

SpeechReply postSpeech(const ServerProcess& server, const std::string& rawBody)
{
    SpeechReply reply;
    auto client = server.client();
    httplib::Headers headers{{"User-Agent", "LorvantineDesktop/1.0"}};
    auto result = client.Post("/api/captioned_speech_partly", headers, rawBody, "application/json");
    if (!result)
        return reply;
    reply.status = result->status;
    reply.contentType = result->get_header_value("Content-Type");
    reply.body = result->body;
    reply.json = nlohmann::json::parse(reply.body, nullptr, false);
    return reply;
}

SpeechReply postSpeech(const ServerProcess& server, const nlohmann::json& request)
{
    return postSpeech(server, request.dump());
}

std::vector<Timestamp> timestampsOf(const nlohmann::json& answer)
{
    std::vector<Timestamp> list;
    for (const auto& element : answer.value("timestamps", nlohmann::json::array()))
        list.push_back({element.at("word").get<std::string>(), element.at("start_time").get<double>(),
                        element.at("end_time").get<double>()});
    return list;
}

int control(const ServerProcess& server, const nlohmann::json& settings)
{
    auto result = server.client().Post("/control", settings.dump(), "application/json");
    return result ? result->status : 0;
}

void reset(const ServerProcess& server) { server.client().Post("/reset", "", "application/json"); }

nlohmann::json requestLog(const ServerProcess& server)
{
    auto result = server.client().Get("/log");
    return result ? nlohmann::json::parse(result->body, nullptr, false) : nlohmann::json();
}

}
