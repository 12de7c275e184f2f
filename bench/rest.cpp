// What the program costs while nobody uses it, beside an idle process measured the same way:
// (a) a first launch, the onboarding window open on its animated demo; (b) an onboarded launch
// at rest (the settings say onboarding is done; the demo desktop trusts the program and grants
// Input Monitoring); (c) an onboarded launch without Input Monitoring, its alert left waiting for
// an answer (as it does at every launch until the access is given). Goals: (a) at most 1% of a
// core, (b) at most 5 wake-ups a second, (c) no more than (a), a window open at rest: the CPU and
// the wake-ups a second that (a) measured, give or take the noise.
//
//   bench_rest [--seconds N] [--settle N] [--program PATH]
//
// Each case launches the program in application mode (no flag) on the built-in demo desktop (for
// (c) the demo desktop of tests/fixtures with Input Monitoring denied) with
// standard input and output on /dev/null, LORVANTINE_AUDIO_OUT=null, LORVANTINE_DEFAULTS naming a
// settings file of its own and an update check that reaches nothing, together with `sleep`. After
// the settling time both are sampled over the same N seconds: CPU time as the nanoseconds each
// thread ran (/proc/<pid>/task/*/schedstat; the clock ticks of /proc/<pid>/stat are too coarse for
// a hundredth of a core) and wake-ups as the context switches, voluntary and not, of every
// thread in /proc/<pid>/task/*/status; both per second of the time that really passed between
// the samples. The default 25 s is three turns of the onboarding demo and a whole number of the
// read button's fifth-of-a-second ticks. Both processes are killed at the end.

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_rest: %s\n", message.c_str());
    std::exit(1);
}

struct Sample {
    double cpuSeconds = 0;
    long long switches = 0;
};

// CPU time and context switches of the threads alive now.
Sample sample(pid_t pid)
{
    Sample result;
    std::error_code error;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
        // The first field is the time the thread ran, in nanoseconds.
        std::ifstream schedstat(task.path() / "schedstat");
        double ranNanoseconds = 0;
        if (schedstat >> ranNanoseconds)
            result.cpuSeconds += ranNanoseconds / 1e9;
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line))
            if (line.starts_with("voluntary_ctxt_switches:") || line.starts_with("nonvoluntary_ctxt_switches:"))
                result.switches += std::atoll(line.c_str() + line.find(':') + 1);
    }
    if (error)
        fail("cannot read the threads of process " + std::to_string(pid));
    return result;
}

pid_t launch(const std::vector<std::string>& argv, const std::vector<std::string>& environment)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : { 0, 1, 2 })
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    auto pointers = [](const std::vector<std::string>& strings) {
        std::vector<char*> result;
        for (const std::string& s : strings)
            result.push_back(const_cast<char*>(s.c_str()));
        result.push_back(nullptr);
        return result;
    };
    std::vector<char*> args = pointers(argv);
    std::vector<char*> env = pointers(environment);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        fail("cannot launch " + argv[0] + ": " + std::strerror(spawned));
    return pid;
}

void end(pid_t pid)
{
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
}

struct Rate {
    double cpuPercent = 0;
    double wakeupsPerSecond = 0;
};

Rate rate(const Sample& before, const Sample& after, double seconds)
{
    return { (after.cpuSeconds - before.cpuSeconds) * 100 / seconds, static_cast<double>(after.switches - before.switches) / seconds };
}

struct Case {
    std::string name;
    std::string settings;
    double cpuGoal;
    double wakeupGoal;
    // LORVANTINE_DESKTOP, when the built-in demo desktop will not do.
    std::string desktop;
    // The goals are what the first case, a window open at rest, measured.
    bool asTheFirstCase = false;
};

// The demo desktop of the tests with Input Monitoring denied: the program asks at launch and,
// refused, shows its alert 1.5 s later.
std::filesystem::path deniedDesktop(const std::filesystem::path& scratch)
{
    std::ifstream in(LORVANTINE_SOURCE_DIR "/tests/fixtures/demo-desktop.json");
    nlohmann::json fixture = nlohmann::json::parse(in, nullptr, false);
    if (!fixture.is_object())
        fail("cannot read tests/fixtures/demo-desktop.json");
    fixture["inputMonitoring"] = "denied";
    const std::filesystem::path path = scratch / "denied-desktop.json";
    std::ofstream(path) << fixture.dump() << "\n";
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    double seconds = 25;
    // Past the start-up: the update check runs once, five seconds after launch.
    double settle = 7;
    std::string program = LORVANTINE_BINARY_DIR "/lorvantine";
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            fail("usage: bench_rest [--seconds N] [--settle N] [--program PATH]");
        if (option == "--seconds")
            seconds = std::max(1.0, std::atof(argv[++i]));
        else if (option == "--settle")
            settle = std::max(0.0, std::atof(argv[++i]));
        else if (option == "--program")
            program = argv[++i];
        else
            fail("unknown option " + option);
    }

    std::string scratch = (std::filesystem::temp_directory_path() / "lorvantine-rest-XXXXXX").string();
    if (!::mkdtemp(scratch.data()))
        fail("cannot make a scratch directory");
    const std::filesystem::path settings = std::filesystem::path(scratch) / "settings.json";
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry)
        if (!std::string(*entry).starts_with("LORVANTINE_"))
            environment.push_back(*entry);
    environment.push_back("LORVANTINE_DEFAULTS=" + settings.string());
    environment.push_back("LORVANTINE_AUDIO_OUT=null");
    environment.push_back("LORVANTINE_UPDATE_URL=http://127.0.0.1:9/download/latest.json");

    const std::string onboarded = "{\"Lorvantine.hasCompletedOnboarding\": true}";
    const Case cases[] = {
        { "(a) first launch, onboarding open", "{}", 1.0, -1 },
        { "(b) onboarded, at rest", onboarded, -1, 5.0 },
        { "(c) an alert waiting", onboarded, -1, -1, deniedDesktop(scratch).string(), true },
    };
    std::vector<Rate> measuredRates;
    std::printf("%.0f s per case after %.0f s to settle; an idle `sleep` measured beside it\n", seconds, settle);
    std::printf("%-36s %10s %12s   %10s %12s   %s\n", "", "CPU %", "wake-ups/s", "idle CPU %", "idle wake/s", "goal");
    for (const Case& c : cases) {
        std::ofstream(settings) << c.settings << "\n";
        std::vector<std::string> caseEnvironment = environment;
        if (!c.desktop.empty())
            caseEnvironment.push_back("LORVANTINE_DESKTOP=" + c.desktop);
        const pid_t pid = launch({ program }, caseEnvironment);
        const pid_t idle = launch({ "/bin/sleep", "1000" }, environment);
        std::this_thread::sleep_for(std::chrono::duration<double>(settle));
        if (int status = 0; ::waitpid(pid, &status, WNOHANG) == pid)
            fail(program + " ended before it was measured");
        const auto started = std::chrono::steady_clock::now();
        const Sample programBefore = sample(pid), idleBefore = sample(idle);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        const Sample programAfter = sample(pid), idleAfter = sample(idle);
        const double passed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        end(pid);
        end(idle);
        const Rate measured = rate(programBefore, programAfter, passed);
        const Rate floor = rate(idleBefore, idleAfter, passed);
        std::string goal;
        if (c.cpuGoal >= 0)
            goal = "CPU <= " + std::to_string(c.cpuGoal).substr(0, 3) + "%: " + (measured.cpuPercent <= c.cpuGoal ? "met" : "MISSED");
        if (c.wakeupGoal >= 0)
            goal = "wake-ups <= " + std::to_string(static_cast<int>(c.wakeupGoal)) + "/s: "
                + (measured.wakeupsPerSecond <= c.wakeupGoal ? "met" : "MISSED");
        if (c.asTheFirstCase && !measuredRates.empty()) {
            // A tenth of a percent and a few wake-ups either way are noise.
            const Rate first = measuredRates.front();
            const bool met = measured.cpuPercent <= first.cpuPercent + 0.1 && measured.wakeupsPerSecond <= first.wakeupsPerSecond + 2;
            goal = "CPU <= (a)'s + 0.1%, wake-ups <= (a)'s + 2/s: " + std::string(met ? "met" : "MISSED");
        }
        measuredRates.push_back(measured);
        std::printf("%-36s %10.2f %12.2f   %10.2f %12.2f   %s\n", c.name.c_str(), measured.cpuPercent, measured.wakeupsPerSecond,
                    floor.cpuPercent, floor.wakeupsPerSecond, goal.c_str());
        auto ratio = [](double figure, double idleFigure) {
            return idleFigure > 0 ? std::to_string(figure / idleFigure).substr(0, 6) + "x" : std::string("- (idle shows 0)");
        };
        std::printf("%-36s ratio to the idle process: CPU %s, wake-ups %s\n", "", ratio(measured.cpuPercent, floor.cpuPercent).c_str(),
                    ratio(measured.wakeupsPerSecond, floor.wakeupsPerSecond).c_str());
    }
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return 0;
}
