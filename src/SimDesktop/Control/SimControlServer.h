#pragma once

#include "SimDesktop/Control/SimControlInput.h"
#include "Support/Expected.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

class SimControlChannel;
class SimControlOutput;
class SimControlPipe;
class SimDesktop;

// The application mode's control channel: command lines from standard input and, when asked,
// from the control pipe, carried out on the desktop in arrival order, each answered with one
// line on standard output.
//
// Lines are taken no faster than they are answered: a writer that sends faster than the answers
// are written (or read) waits on its pipe (see SimControlInput). The answers are written from a
// thread of their own (SimControlOutput): a controller that does not read them holds back its
// lines, never the main thread.
//
// Main thread only. Destroying it stops the readers (lines not yet carried out are dropped) and
// removes the pipe.
class SimControlServer {
public:
    struct Options {
        bool readStandardInput = true;
        // None: no pipe. An empty path: the private place (see SimControlPipe).
        std::optional<std::filesystem::path> pipe;
        // Where answers go, on the main thread; empty: standard output.
        std::function<void(const std::string&)> answer;
    };

    static Expected<std::unique_ptr<SimControlServer>, std::string> start(std::shared_ptr<SimDesktop> desktop, Options options);
    ~SimControlServer();
    SimControlServer(const SimControlServer&) = delete;
    SimControlServer& operator=(const SimControlServer&) = delete;

    // "quit" was asked.
    std::function<void()> onQuit;
    // Where the pipe is; none without one.
    std::optional<std::filesystem::path> pipePath() const;

private:
    SimControlServer() = default;
    void handle(std::string line, SimControlInput::Line kind, SimControlInput::Place place);
    void answer(std::string line, SimControlInput::Place place);

    std::unique_ptr<SimControlChannel> m_channel;
    std::unique_ptr<SimControlPipe> m_pipe;
    std::unique_ptr<SimControlOutput> m_output;
    std::unique_ptr<SimControlInput> m_standardInput;
    std::unique_ptr<SimControlInput> m_pipeInput;
    std::function<void(const std::string&)> m_answer;
};

} // namespace lorvantine
