// What a long web article's reading start costs the menu-bar application's main thread, and how
// soon the program ends when it is quit during that start.
//
//   bench_long_page_start [--paragraphs N,N,...] [--runs R] [--program PATH]
//
// For each size (default 10,000 and 100,000 paragraphs) the program runs in application mode on
// a desktop whose front application is Safari showing an article of that many paragraphs of
// prose, with the stand-in speech server, as a person would run it. Three measurements, each on a
// fresh launch:
//   - hold: Control+Shift+R is sent through the control pipe, then `windows` again and again,
//     each sent as soon as the one before was answered, until the reading has started (its first
//     log line) and one second more has passed. The longest wait for an answer is the longest the
//     main thread (or the desktop it answers from) was held; the median shows the floor a round
//     trip costs. The time from the key to the reading's start is given too.
//   - Ctrl+C: the key, then SIGINT a third of the way into the start (as timed by the hold run),
//     and the time until the process has ended, with its status.
//   - quit: the same with the control channel's `quit`.
// Figures go to standard output; the program's own output to a scratch directory.

#include "EndToEnd/BuiltProgram.h"
#include "EndToEnd/ChildProcess.h"

#include "TestSupport/LongArticle.h"
#include "TestSupport/ScratchDirectory.h"
#include "TestSupport/SpeechServerProcess.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace lorvantine {
namespace {

using WallClock = std::chrono::steady_clock;
using namespace std::chrono_literals;

[[noreturn]] void fail(const std::string& message)
{
    std::fprintf(stderr, "bench_long_page_start: %s\n", message.c_str());
    std::exit(1);
}

double secondsSince(WallClock::time_point start) { return std::chrono::duration<double>(WallClock::now() - start).count(); }

// The program in application mode on `fixture`, driven through its control pipe. Answers are
// watched for every millisecond, finer than the holds measured.
class Program {
public:
    Program(const test::ScratchDirectory& directory, const std::filesystem::path& program, const std::filesystem::path& fixture,
            const std::string& speechServer)
        : m_pipe(directory / "control")
    {
        const auto settings = directory / "settings.json";
        test::writeFile(settings, "{\"Lorvantine.hasCompletedOnboarding\": true, \"Lorvantine.ttsServerURL\": \"" + speechServer + "\"}");
        m_child = std::make_unique<test::ChildProcess>(test::ChildProcess::Options {
            .program = program,
            .arguments = {},
            .environment = { { "LORVANTINE_DESKTOP", fixture.string() },
                             { "LORVANTINE_CONTROL_PIPE", m_pipe.string() },
                             { "LORVANTINE_AUDIO_OUT", "null" },
                             { "LORVANTINE_DEFAULTS", settings.string() },
                             { "LORVANTINE_UPDATE_URL", "http://127.0.0.1:9/download/latest.json" } },
            .directory = directory.path() });
        const auto limit = WallClock::now() + 30s;
        while (WallClock::now() < limit && !std::filesystem::is_fifo(m_pipe))
            std::this_thread::sleep_for(1ms);
        if (!std::filesystem::is_fifo(m_pipe) || !send("windows") || !answer(30s))
            fail("the program did not come up:\n" + m_child->standardError().substr(0, 2000));
    }

    bool send(const std::string& line)
    {
        const int fd = ::open(m_pipe.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return false;
        const std::string bytes = line + "\n";
        const bool sent = ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
        ::close(fd);
        return sent;
    }

    // Waits for the answer to the line sent last.
    bool answer(std::chrono::milliseconds timeout)
    {
        const auto limit = WallClock::now() + timeout;
        while (WallClock::now() < limit) {
            const std::string out = m_child->standardOutput();
            const size_t lines = static_cast<size_t>(std::count(out.begin(), out.end(), '\n'));
            if (lines > m_answered) {
                m_answered = lines;
                return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

    bool logHas(const std::string& needle) const { return m_child->standardError().find(needle) != std::string::npos; }
    test::ChildProcess& process() { return *m_child; }

private:
    std::filesystem::path m_pipe;
    std::unique_ptr<test::ChildProcess> m_child;
    size_t m_answered = 0;
};

constexpr const char* readingStarted = "[ArticleReader] ▶";

struct Hold {
    double longest = 0;
    double median = 0;
    int probes = 0;
    double startSeconds = 0;
};

Hold measureHold(Program& program)
{
    if (!program.send("key r control shift") || !program.answer(60s))
        fail("the key was not taken");
    const auto pressed = WallClock::now();
    std::optional<WallClock::time_point> started;
    std::vector<double> waits;
    while (!started || secondsSince(*started) < 1.0) {
        if (secondsSince(pressed) > 600)
            fail("the reading did not start within ten minutes:\n" + program.process().standardError().substr(0, 2000));
        const auto sent = WallClock::now();
        if (!program.send("windows") || !program.answer(600s))
            fail("`windows` was not answered");
        waits.push_back(secondsSince(sent));
        if (!started && program.logHas(readingStarted))
            started = WallClock::now();
    }
    Hold hold;
    hold.probes = static_cast<int>(waits.size());
    hold.startSeconds = std::chrono::duration<double>(*started - pressed).count();
    std::sort(waits.begin(), waits.end());
    hold.longest = waits.back();
    hold.median = waits[waits.size() / 2];
    return hold;
}

struct Ending {
    double seconds = 0;
    std::optional<int> status;
    bool beforeStart = false;
};

enum class Way { ctrlC, quit };

Ending measureEnding(Program& program, Way way, double after)
{
    if (!program.send("key r control shift") || !program.answer(60s))
        fail("the key was not taken");
    std::this_thread::sleep_for(std::chrono::duration<double>(after));
    Ending ending;
    ending.beforeStart = !program.logHas(readingStarted);
    const auto asked = WallClock::now();
    if (way == Way::ctrlC)
        program.process().signal(SIGINT);
    else if (!program.send("quit"))
        fail("quit was not sent");
    ending.status = program.process().wait(60s);
    ending.seconds = secondsSince(asked);
    return ending;
}

std::vector<int> parseSizes(const std::string& list)
{
    std::vector<int> sizes;
    std::stringstream in(list);
    for (std::string item; std::getline(in, item, ',');)
        if (const int n = std::atoi(item.c_str()); n > 0)
            sizes.push_back(n);
    return sizes;
}

std::string status(const Ending& e) { return e.status ? std::to_string(*e.status) : std::string("killed"); }

} // namespace
} // namespace lorvantine

int main(int argc, char** argv)
{
    using namespace lorvantine;
    std::vector<int> sizes { 10000, 100000 };
    int runs = 1;
    std::filesystem::path program = test::lorvantineProgram;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc)
            fail("usage: bench_long_page_start [--paragraphs N,N,...] [--runs R] [--program PATH]");
        if (option == "--paragraphs")
            sizes = parseSizes(argv[++i]);
        else if (option == "--runs")
            runs = std::max(1, std::atoi(argv[++i]));
        else if (option == "--program")
            program = argv[++i];
        else
            fail("unknown option " + option);
    }

    test::SpeechServerProcess server;
    if (!server.isRunning())
        fail("the speech server did not start");
    std::printf("%-11s %4s %12s %12s %7s %10s   %14s %14s\n", "paragraphs", "run", "longest hold", "median wait", "probes",
                "start (s)", "Ctrl+C end (s)", "quit end (s)");
    for (const int size : sizes) {
        test::ScratchDirectory fixtureDirectory;
        const auto fixture = fixtureDirectory / "article.json";
        test::writeFile(fixture, test::longArticle(size).dump());
        for (int run = 1; run <= runs; ++run) {
            Hold hold;
            {
                test::ScratchDirectory directory;
                Program app(directory, program, fixture, server.baseURL());
                hold = measureHold(app);
                app.send("quit");
                app.process().wait(60s);
            }
            // A third of the way into the start: the document is being looked for.
            const double into = hold.startSeconds / 3;
            Ending endings[2];
            for (const Way way : { Way::ctrlC, Way::quit }) {
                test::ScratchDirectory directory;
                Program app(directory, program, fixture, server.baseURL());
                endings[way == Way::ctrlC ? 0 : 1] = measureEnding(app, way, into);
            }
            std::printf("%-11d %4d %10.3f s %10.3f s %7d %10.2f   %8.3f (%s)%s %8.3f (%s)%s\n", size, run, hold.longest, hold.median,
                        hold.probes, hold.startSeconds, endings[0].seconds, status(endings[0]).c_str(),
                        endings[0].beforeStart ? "" : "*", endings[1].seconds, status(endings[1]).c_str(),
                        endings[1].beforeStart ? "" : "*");
            std::fflush(stdout);
        }
    }
    std::printf("(*: the reading had already started when the end was asked for)\n");
    return 0;
}
