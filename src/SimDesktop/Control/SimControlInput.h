#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace lorvantine {

// Reads control lines from one descriptor (standard input or the control pipe) on a thread of
// its own and hands each to the main queue, in order. A line is bounded: one longer than
// `maxBytes` is not kept but reported as too long once its line feed arrives (or at once, so the
// sender hears of it), and the reading goes on with the next line.
//
// Made and destroyed on the main thread; destroying it wakes and joins the thread, and lines not
// yet handled are dropped. The descriptor stays its owner's.
class SimControlInput {
public:
    enum class Line { complete, tooLong };
    // `onLine` and `onEnd` (the descriptor reached its end or failed) run on the main queue.
    SimControlInput(int fd, size_t maxBytes, std::function<void(std::string, Line)> onLine, std::function<void()> onEnd = {});
    ~SimControlInput();
    SimControlInput(const SimControlInput&) = delete;
    SimControlInput& operator=(const SimControlInput&) = delete;

private:
    void readLoop();

    struct Shared;
    std::shared_ptr<Shared> m_shared;
    int m_fd;
    size_t m_maxBytes;
    int m_wake[2] = { -1, -1 };
    std::thread m_reader;
};

} // namespace lorvantine
