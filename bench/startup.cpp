// How soon `lorvantine --read-article` asks for speech after it is launched, against the floor:
// bench_startup_floor, the same link line around a main that only sends that request; and
// against that floor plus the simulated desktop laying out its applications' text (`--desktop`),
// which on a real desktop the other applications have done before the program starts.
//
//   bench_startup [--runs N] [--program PATH] [--floor PATH]
//
// Each run launches one of the two with standard input and output on /dev/null and times from
// just before the launch to the moment the request's headers have arrived at a listener this
// harness owns on 127.0.0.1; the listener answers 503 and the process is killed. The program
// reads the demo desktop (LORVANTINE_DESKTOP unset) with LORVANTINE_DEFAULTS naming a settings
// file whose "Lorvantine.ttsServerURL" is the listener and LORVANTINE_AUDIO_OUT=null. The two
// alternate run by run, after one unmeasured warm-up each, so that both see the same machine.

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* speechRequestLine = "POST /api/captioned_speech_partly ";
constexpr auto runLimit = std::chrono::seconds(20);

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_startup: %s\n", message.c_str());
    std::exit(1);
}

int openListener(int& port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 16) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        fail(std::string("cannot listen on 127.0.0.1: ") + std::strerror(errno));
    port = ntohs(address.sin_port);
    return fd;
}

// Reads until the end of the request's headers; the request line, or nothing when the client
// went away first.
std::optional<std::string> readRequestHead(int connection)
{
    std::string received;
    char buffer[4096];
    while (received.find("\r\n\r\n") == std::string::npos) {
        pollfd ready { connection, POLLIN, 0 };
        if (::poll(&ready, 1, 5000) <= 0)
            return std::nullopt;
        ssize_t count = ::read(connection, buffer, sizeof buffer);
        if (count <= 0)
            return std::nullopt;
        received.append(buffer, size_t(count));
    }
    return received.substr(0, received.find("\r\n"));
}

void closeWaitingConnections(int listener)
{
    pollfd ready { listener, POLLIN, 0 };
    while (::poll(&ready, 1, 0) > 0) {
        int connection = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            return;
        ::close(connection);
    }
}

class Launcher {
public:
    Launcher(int listener, std::vector<std::string> environment)
        : m_listener(listener)
        , m_environment(std::move(environment))
    {
    }

    // Milliseconds from the launch of `argv` to its first request's arrival.
    double timeToFirstRequest(const std::vector<std::string>& argv)
    {
        closeWaitingConnections(m_listener);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        for (int fd : {0, 1, 2})
            posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
        std::vector<char*> args = pointers(argv);
        std::vector<char*> environment = pointers(m_environment);

        const Clock::time_point launched = Clock::now();
        pid_t pid = 0;
        int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environment.data());
        posix_spawn_file_actions_destroy(&actions);
        if (spawned != 0)
            fail("cannot launch " + argv[0] + ": " + std::strerror(spawned));

        std::optional<double> elapsed;
        std::string problem;
        while (!elapsed && problem.empty()) {
            pollfd ready { m_listener, POLLIN, 0 };
            if (::poll(&ready, 1, 10) > 0) {
                int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
                if (connection < 0)
                    continue;
                std::optional<std::string> requestLine = readRequestHead(connection);
                const Clock::time_point arrived = Clock::now();
                static const char answer[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
                (void)!::write(connection, answer, sizeof answer - 1);
                ::close(connection);
                if (!requestLine)
                    continue;
                if (!requestLine->starts_with(speechRequestLine))
                    problem = "unexpected first request \"" + *requestLine + "\"";
                else
                    elapsed = std::chrono::duration<double, std::milli>(arrived - launched).count();
            } else if (int status = 0; ::waitpid(pid, &status, WNOHANG) == pid) {
                fail(argv[0] + " ended (status " + std::to_string(WIFEXITED(status) ? WEXITSTATUS(status) : -1)
                     + ") before asking for speech");
            } else if (Clock::now() - launched > runLimit) {
                problem = "no request within " + std::to_string(runLimit.count()) + " s";
            }
        }
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        if (!problem.empty())
            fail(argv[0] + ": " + problem);
        return *elapsed;
    }

private:
    static std::vector<char*> pointers(const std::vector<std::string>& strings)
    {
        std::vector<char*> result;
        for (const std::string& s : strings)
            result.push_back(const_cast<char*>(s.c_str()));
        result.push_back(nullptr);
        return result;
    }

    int m_listener;
    std::vector<std::string> m_environment;
};

std::vector<std::string> childEnvironment(const std::filesystem::path& defaults)
{
    std::vector<std::string> result;
    for (char** entry = environ; *entry; ++entry) {
        std::string variable = *entry;
        if (!variable.starts_with("LORVANTINE_"))
            result.push_back(variable);
    }
    result.push_back("LORVANTINE_DEFAULTS=" + defaults.string());
    result.push_back("LORVANTINE_AUDIO_OUT=null");
    return result;
}

struct Summary {
    double median = 0, low = 0, high = 0;
};

double quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    double position = q * double(values.size() - 1);
    size_t below = size_t(position);
    size_t above = std::min(below + 1, values.size() - 1);
    return values[below] + (values[above] - values[below]) * (position - double(below));
}

Summary summarise(const std::vector<double>& values)
{
    return { quantile(values, 0.5), quantile(values, 0.1), quantile(values, 0.9) };
}

} // namespace

int main(int argc, char** argv)
{
    int runs = 30;
    std::string program = LORVANTINE_BINARY_DIR "/lorvantine";
    std::string floorProgram = LORVANTINE_BINARY_DIR "/bench_startup_floor";
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (i + 1 >= argc)
            fail("usage: bench_startup [--runs N] [--program PATH] [--floor PATH]");
        if (option == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (option == "--program")
            program = argv[++i];
        else if (option == "--floor")
            floorProgram = argv[++i];
        else
            fail("unknown option " + option);
    }

    std::signal(SIGPIPE, SIG_IGN);
    int port = 0;
    const int listener = openListener(port);
    const std::string baseURL = "http://127.0.0.1:" + std::to_string(port);

    std::string scratch = (std::filesystem::temp_directory_path() / "lorvantine-startup-XXXXXX").string();
    if (!::mkdtemp(scratch.data()))
        fail("cannot make a scratch directory");
    const std::filesystem::path defaults = std::filesystem::path(scratch) / "defaults.json";
    std::ofstream(defaults) << "{\"Lorvantine.ttsServerURL\": \"" << baseURL << "\"}\n";

    Launcher launcher(listener, childEnvironment(defaults));
    const std::vector<std::string> floorArgs { floorProgram, baseURL };
    const std::vector<std::string> desktopFloorArgs { floorProgram, "--desktop", baseURL };
    const std::vector<std::string> programArgs { program, "--read-article" };
    launcher.timeToFirstRequest(floorArgs);
    launcher.timeToFirstRequest(desktopFloorArgs);
    launcher.timeToFirstRequest(programArgs);
    std::vector<double> floorTimes, desktopFloorTimes, programTimes;
    for (int run = 0; run < runs; ++run) {
        floorTimes.push_back(launcher.timeToFirstRequest(floorArgs));
        desktopFloorTimes.push_back(launcher.timeToFirstRequest(desktopFloorArgs));
        programTimes.push_back(launcher.timeToFirstRequest(programArgs));
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);

    const Summary floorSummary = summarise(floorTimes);
    const Summary desktopFloorSummary = summarise(desktopFloorTimes);
    const Summary programSummary = summarise(programTimes);
    std::printf("launch to first speech request, %d runs each (ms)\n", runs);
    std::printf("%-34s %8s %8s %8s\n", "", "median", "p10", "p90");
    for (const auto& [name, summary] : { std::pair { "floor (libraries only)", floorSummary },
             std::pair { "floor + the desktop's own layout", desktopFloorSummary },
             std::pair { "lorvantine --read-article", programSummary } })
        std::printf("%-34s %8.1f %8.1f %8.1f\n", name, summary.median, summary.low, summary.high);
    std::printf("ratio of medians: %.2fx the libraries-only floor, %.2fx the floor with the desktop laid out\n",
                programSummary.median / floorSummary.median, programSummary.median / desktopFloorSummary.median);
    return 0;
}
