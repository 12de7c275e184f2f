#pragma once

#include "SimDesktop/Control/SimControlInput.h"
#include "Support/Expected.h"

#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <unistd.h>

namespace lorvantine {

class SimControlChannel;
class SimControlOutput;
class SimControlPipe;
class SimDesktop;

// The application mode's control channel: command lines from standard input and, when asked,
// from the control pipe, carried out on the desktop in arrival order, each answered with one
// line on standard output.
//
// The pipe is there from the start, but no line is carried out (nor answered) before `setReady`:
// a key sent while the application is still starting would otherwise find no hotkey to press.
// Lines that come meanwhile are read, so that each writer's line stays its own, and wait.
//
// Lines are taken no faster than they are answered: a writer that sends faster than the answers
// are written (or read) waits on its pipe (see SimControlInput). The answers are written from a
// thread of their own (SimControlOutput): a controller that does not read them holds back its
// lines, never the main thread. So what waits in memory is bounded: a few dozen lines and their
// answers for each input, whether the application is starting or the controller stopped reading.
//
// Main thread only. Destroying it stops the readers (lines not yet carried out are dropped) and
// removes the pipe.
class SimControlServer {
public:
    struct Options {
        bool readStandardInput = true;
        // None: no pipe. An empty path: the private place (see SimControlPipe).
        std::optional<std::filesystem::path> pipe;
        // Where answers go, on the main thread; empty: written to `answerDescriptor`.
        std::function<void(const std::string&)> answer;
        int answerDescriptor = STDOUT_FILENO;
    };

    // The lines of one input that may be taken and not yet answered: while the answers cannot go
    // out (or the application is starting), no more are read.
    static constexpr size_t heldLines = 64;

    static Expected<std::unique_ptr<SimControlServer>, std::string> start(std::shared_ptr<SimDesktop> desktop, Options options);
    ~SimControlServer();
    SimControlServer(const SimControlServer&) = delete;
    SimControlServer& operator=(const SimControlServer&) = delete;

    // The application has finished starting: the lines that came meanwhile are carried out, in
    // order, and the next ones as they come.
    void setReady();

    // "quit" was asked.
    std::function<void()> onQuit;
    // Where the pipe is; none without one.
    std::optional<std::filesystem::path> pipePath() const;

private:
    SimControlServer() = default;
    struct WaitingLine {
        std::string line;
        SimControlInput::Line kind;
        SimControlInput::Place place;
    };

    void take(std::string line, SimControlInput::Line kind, SimControlInput::Place place);
    void handleNextWaiting();
    void handle(std::string line, SimControlInput::Line kind, SimControlInput::Place place);
    void answer(std::string line, SimControlInput::Place place);

    std::unique_ptr<SimControlChannel> m_channel;
    std::unique_ptr<SimControlPipe> m_pipe;
    std::unique_ptr<SimControlOutput> m_output;
    std::unique_ptr<SimControlInput> m_standardInput;
    std::unique_ptr<SimControlInput> m_pipeInput;
    std::function<void(const std::string&)> m_answer;
    bool m_ready = false;
    // Lines that came before `setReady`, and those that come while these are carried out; each
    // keeps its place, so there are few.
    std::deque<WaitingLine> m_waiting;
    // Work posted for the waiting lines does nothing once the server is gone.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

} // namespace lorvantine
