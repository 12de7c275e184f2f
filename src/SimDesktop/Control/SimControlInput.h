#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace lorvantine {

// Reads control lines from one descriptor (standard input or the control pipe) on a thread of
// its own and hands each to the main queue, in order. A line is bounded: one longer than
// `maxBytes` is not kept but reported as too long once its line feed arrives (or at once, so the
// sender hears of it), and the reading goes on with the next line. Bytes of a line whose writer
// went away before its line feed are reported as cut off, never joined to the next writer's line.
//
// It holds at most `maxHeld` lines that are not finished yet: then it stops taking bytes from the
// descriptor, and whoever writes faster than the lines are carried out and answered waits on the
// full pipe instead of filling this process's memory. A line is finished when the last copy of
// the place handed with it goes (its answer has gone out); a line the main queue drops is too.
//
// Made and destroyed on the main thread; destroying it wakes and joins the thread, and lines not
// yet handled are dropped. The descriptor stays its owner's.
class SimControlInput {
public:
    enum class Line { complete, tooLong, cutOff };
    struct Options {
        size_t maxBytes = 1024;
        size_t maxHeld = 64;
        // Every writer has closed the descriptor (a named pipe's): answers a descriptor to go on
        // reading from, -1 to stop. Without it the end of the input ends the reading.
        std::function<int()> reopen;
    };
    // A line's place among the held ones, freed when its last copy goes.
    using Place = std::shared_ptr<void>;
    // `onLine` and `onEnd` (the descriptor reached its end or failed) run on the main queue.
    SimControlInput(int fd, Options options, std::function<void(std::string, Line, Place)> onLine, std::function<void()> onEnd = {});
    ~SimControlInput();
    SimControlInput(const SimControlInput&) = delete;
    SimControlInput& operator=(const SimControlInput&) = delete;

private:
    void readLoop();

    struct Shared;
    std::shared_ptr<Shared> m_shared;
    int m_fd;
    Options m_options;
    int m_wake[2] = { -1, -1 };
    std::thread m_reader;
};

} // namespace lorvantine
