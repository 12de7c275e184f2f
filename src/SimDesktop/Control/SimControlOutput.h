#pragma once

#include <memory>
#include <string>
#include <thread>

namespace lorvantine {

// Writes the control channel's answers to a descriptor (standard output) from a thread of its
// own, so that a controller that stops reading them never holds the main thread: it goes on
// serving the desktop, the menu bar, Ctrl+C and "quit". Each answer goes out whole, as one line,
// in the order given. An answer keeps `place` (see SimControlInput) until it has gone out, so
// while answers cannot go out no more control lines are taken.
//
// The descriptor is written without waiting: a pipe or terminal through a description of its
// own (the one it shares with other processes keeps its flags), a socket with non-blocking
// sends; a regular file is written as it is. An answer that can never go out (the reader closed
// its end) is dropped, and the lines after it are still carried out.
//
// Made and destroyed on the main thread. Destroying it writes what can still go out at once and
// drops the rest: it never waits for a reader.
class SimControlOutput {
public:
    explicit SimControlOutput(int fd);
    ~SimControlOutput();
    SimControlOutput(const SimControlOutput&) = delete;
    SimControlOutput& operator=(const SimControlOutput&) = delete;

    // `line` without its line feed. Never waits.
    void send(std::string line, std::shared_ptr<void> place);

private:
    void writeLoop();

    struct Shared;
    std::shared_ptr<Shared> m_shared;
    std::thread m_writer;
};

} // namespace lorvantine
