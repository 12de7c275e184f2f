#include "TestSupport/SpeechServerProcess.h"

#include <httplib.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

namespace lorvantine::test {

namespace {

using RealTime = std::chrono::steady_clock;
constexpr auto startLimit = std::chrono::seconds(20);
constexpr auto stopLimit = std::chrono::seconds(5);

std::string binaryPath()
{
    return std::string(LORVANTINE_BINARY_DIR) + "/lorvantine-speech-server";
}

// Reads the child's standard output until the "port=N" line; 0 when it does not come.
int readPortLine(int fd, pid_t pid)
{
    std::string received;
    auto deadline = RealTime::now() + startLimit;
    while (RealTime::now() < deadline) {
        size_t newline = received.find('\n');
        while (newline != std::string::npos) {
            std::string line = received.substr(0, newline);
            received.erase(0, newline + 1);
            if (line.starts_with("port="))
                return std::atoi(line.c_str() + 5);
            newline = received.find('\n');
        }
        pollfd ready {fd, POLLIN, 0};
        int polled = ::poll(&ready, 1, 100);
        if (polled < 0 && errno != EINTR)
            return 0;
        if (polled > 0) {
            char buffer[256];
            ssize_t count = ::read(fd, buffer, sizeof buffer);
            if (count == 0)
                return 0; // the server closed its output: it has ended
            if (count > 0)
                received.append(buffer, static_cast<size_t>(count));
        }
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return 0;
    }
    return 0;
}

template<typename T>
std::optional<T> optionalMember(const nlohmann::json& object, const char* name)
{
    auto found = object.find(name);
    if (found == object.end() || found->is_null())
        return std::nullopt;
    return found->get<T>();
}

SpeechServerRequest requestOf(const nlohmann::json& entry)
{
    SpeechServerRequest request;
    request.order = entry.value("order", uint64_t {0});
    request.method = entry.value("method", std::string());
    request.path = entry.value("path", std::string());
    if (auto headers = entry.find("headers"); headers != entry.end() && headers->is_object()) {
        for (const auto& [name, value] : headers->items())
            request.headers[name] = value.is_string() ? value.get<std::string>() : value.dump();
    }
    request.body = entry.value("body", std::string());
    request.status = entry.value("status", 0);
    request.fault = entry.value("fault", std::string());
    request.concurrency = entry.value("concurrency", 0);
    request.arrivalMs = entry.value("arrivalMs", 0.0);
    request.completionMs = optionalMember<double>(entry, "completionMs");
    request.voiceCode = optionalMember<std::string>(entry, "voice_code");
    request.language = optionalMember<std::string>(entry, "language");
    request.input = optionalMember<std::string>(entry, "input");
    request.processedText = optionalMember<std::string>(entry, "processed_text");
    return request;
}

std::string lowercased(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace

std::optional<std::string> SpeechServerRequest::header(const std::string& name) const
{
    for (const auto& [key, value] : headers) {
        if (lowercased(key) == lowercased(name))
            return value;
    }
    return std::nullopt;
}

namespace {

// Starts the server binary with `arguments`, its standard output on a pipe whose read end is
// returned in `output`; -1 when it cannot be started.
pid_t spawn(std::vector<std::string> arguments, SpeechServerProcess::ServerLog log, int* output)
{
    arguments.insert(arguments.begin(), binaryPath());
    std::vector<char*> argv;
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) {
        ADD_FAILURE() << "pipe: " << std::strerror(errno);
        return -1;
    }
    pid_t parent = ::getpid();
    bool hideLog = log == SpeechServerProcess::ServerLog::hidden;
    pid_t pid = ::fork();
    if (pid == 0) {
        // Only async-signal-safe calls until exec. The server goes when the test process goes.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::dup2(pipeEnds[1], STDOUT_FILENO);
        if (hideLog) {
            int null = ::open("/dev/null", O_WRONLY);
            if (null >= 0)
                ::dup2(null, STDERR_FILENO);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(pipeEnds[1]);
    if (pid < 0) {
        ::close(pipeEnds[0]);
        ADD_FAILURE() << "fork: " << std::strerror(errno);
        return -1;
    }
    *output = pipeEnds[0];
    return pid;
}

// The exit status once `pid` has ended; none when it was killed by a signal, or did not end
// within `limit` and was killed then.
std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds limit)
{
    auto deadline = RealTime::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (RealTime::now() >= deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::nullopt;
}

} // namespace

SpeechServerProcess::SpeechServerProcess(Options options)
{
    if (::access(binaryPath().c_str(), X_OK) != 0) {
        ADD_FAILURE() << "the stand-in speech server is not built: " << binaryPath() << " (target lorvantine-speech-server)";
        return;
    }
    std::vector<std::string> arguments;
    if (options.speech == Speech::canned)
        arguments.emplace_back("--canned");
    arguments.insert(arguments.end(), options.arguments.begin(), options.arguments.end());
    int output = -1;
    m_pid = spawn(arguments, options.serverLog, &output);
    if (m_pid <= 0)
        return;
    m_port = readPortLine(output, m_pid);
    ::close(output);
    if (m_port <= 0) {
        ADD_FAILURE() << "the stand-in speech server did not report its port";
        stop(SIGTERM);
    }
}

SpeechServerProcess::~SpeechServerProcess()
{
    stop(SIGTERM);
}

std::optional<int> SpeechServerProcess::stop(int signal)
{
    if (m_pid <= 0)
        return std::nullopt;
    ::kill(m_pid, signal);
    auto status = waitForExit(m_pid, stopLimit);
    m_pid = -1;
    m_port = 0;
    return status;
}

int SpeechServerProcess::runToExit(const std::vector<std::string>& arguments)
{
    int output = -1;
    pid_t pid = spawn(arguments, ServerLog::hidden, &output);
    if (pid <= 0)
        return -1;
    auto status = waitForExit(pid, startLimit);
    ::close(output);
    return status.value_or(-1);
}

std::string SpeechServerProcess::baseURL() const
{
    return "http://127.0.0.1:" + std::to_string(m_port);
}

std::optional<std::string> SpeechServerProcess::get(const std::string& path)
{
    if (!isRunning())
        return std::nullopt;
    httplib::Client client("127.0.0.1", m_port);
    client.set_connection_timeout(2);
    client.set_read_timeout(10);
    auto result = client.Get(path.c_str());
    if (!result) {
        ADD_FAILURE() << "GET " << path << " on the speech server failed";
        return std::nullopt;
    }
    return result->body;
}

std::optional<std::string> SpeechServerProcess::post(const std::string& path, const std::string& body)
{
    if (!isRunning())
        return std::nullopt;
    httplib::Client client("127.0.0.1", m_port);
    client.set_connection_timeout(2);
    client.set_read_timeout(10);
    auto result = client.Post(path.c_str(), body, "application/json");
    if (!result) {
        ADD_FAILURE() << "POST " << path << " on the speech server failed";
        return std::nullopt;
    }
    if (result->status != 200)
        return result->body.empty() ? std::string("status ") + std::to_string(result->status) : result->body;
    return std::string();
}

std::optional<std::string> SpeechServerProcess::control(const nlohmann::json& object)
{
    auto answer = post("/control", object.dump());
    if (!answer)
        return std::string("the speech server is not running");
    if (answer->empty())
        return std::nullopt;
    ADD_FAILURE() << "the speech server refused " << object.dump() << ": " << *answer;
    return answer;
}

void SpeechServerProcess::reset()
{
    if (auto answer = post("/reset", "{}"); answer && !answer->empty())
        ADD_FAILURE() << "reset refused: " << *answer;
}

std::vector<SpeechServerRequest> SpeechServerProcess::requests()
{
    std::vector<SpeechServerRequest> found;
    auto body = get("/log");
    if (!body)
        return found;
    auto log = nlohmann::json::parse(*body, nullptr, false);
    if (log.is_discarded() || !log.is_object() || !log.contains("requests") || !log["requests"].is_array()) {
        ADD_FAILURE() << "the speech server's log is not what it should be: " << body->substr(0, 200);
        return found;
    }
    for (const auto& entry : log["requests"])
        found.push_back(requestOf(entry));
    return found;
}

std::vector<SpeechServerRequest> SpeechServerProcess::speechRequests()
{
    std::vector<SpeechServerRequest> found;
    for (auto& request : requests()) {
        if (request.path == speechPath)
            found.push_back(std::move(request));
    }
    return found;
}

bool SpeechServerProcess::waitForAnsweredSpeechRequests(size_t count, std::chrono::milliseconds timeout)
{
    auto deadline = RealTime::now() + timeout;
    for (;;) {
        size_t answered = 0;
        for (const auto& request : speechRequests()) {
            if (request.completionMs)
                ++answered;
        }
        if (answered >= count)
            return true;
        if (RealTime::now() >= deadline || !isRunning())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace lorvantine::test
