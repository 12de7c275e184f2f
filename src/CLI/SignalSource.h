#pragma once

#include <csignal>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lorvantine {

// Hands POSIX signals to the main queue. The handler does nothing but write one byte to a pipe
// (the only safe thing in signal context); a thread of the source's own reads it and posts
// `onSignal` to the main queue, where it may do anything the main thread does.
//
// One source per process at a time. Made and destroyed on the main thread; destroying it puts
// back the disposition the signal had before and ends its thread. A signal that arrives after
// that is the previous disposition's.
class SignalSource {
public:
    // None, with `error` set, when the handler cannot be installed or a source already exists.
    static std::unique_ptr<SignalSource> create(int signalNumber, std::function<void()> onSignal, std::string& error);
    // One source for several signals (SIGINT and SIGTERM end a run alike).
    static std::unique_ptr<SignalSource> create(std::vector<int> signalNumbers, std::function<void()> onSignal, std::string& error);
    ~SignalSource();
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

private:
    SignalSource(std::vector<std::pair<int, struct sigaction>> previous, std::function<void()> onSignal);
    void readLoop();

    // Each signal with the disposition it had before.
    std::vector<std::pair<int, struct sigaction>> m_previous;
    std::function<void()> m_onSignal;
    std::thread m_reader;
};

} // namespace lorvantine
