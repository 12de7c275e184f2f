#pragma once

#include <array>
#include <csignal>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lorvantine {

// Hands POSIX signals to the main queue. The handler does nothing but write the signal's number
// to a pipe (the only safe thing in signal context); a thread of the source's own reads it and
// posts `onSignal` to the main queue, where it may do anything the main thread does.
//
// One source per process at a time. Made and destroyed on the main thread; destroying it puts
// back the disposition the signal had before and ends its thread. A signal that arrives after
// that is the previous disposition's, unless the process holds it (`holdForTheProcess`).
class SignalSource {
public:
    enum class Delivery {
        mainQueue,
        // On the source's own thread, at once: for the end of the process, when the main thread
        // is busy tearing down and will not run its queue again.
        sourceThread,
    };
    // Which signals a source takes.
    enum class Takes {
        every,
        // The first one only: those after it wait for the next source, as when no source exists
        // (see `holdForTheProcess`). A run that ends on a signal takes one, and a second one that
        // comes while the run ends, however busy the main thread is, is the end's.
        first,
    };
    // None, with `error` set, when the handler cannot be installed or a source already exists.
    static std::unique_ptr<SignalSource> create(int signalNumber, std::function<void(int signalNumber)> onSignal, std::string& error);
    // One source for several signals (SIGINT and SIGTERM end a run alike).
    static std::unique_ptr<SignalSource> create(std::span<const int> signalNumbers, std::function<void(int signalNumber)> onSignal,
                                                std::string& error, Delivery delivery = Delivery::mainQueue, Takes takes = Takes::every);
    ~SignalSource();
    SignalSource(const SignalSource&) = delete;
    SignalSource& operator=(const SignalSource&) = delete;

    // What asks a run to end: Ctrl+C, a request to terminate, the terminal closing.
    static constexpr std::array<int, 3> endingSignals { SIGINT, SIGTERM, SIGHUP };

    // When the process starts taking `signalNumbers` itself.
    enum class Hold {
        // From now on: a signal that comes before any source is made waits for the first one.
        now,
        // From the first source made for them on: until then they keep their dispositions.
        afterFirstSource,
    };
    // For the rest of the process, `signalNumbers` never go back to their previous disposition:
    // one that comes while no source exists (before the first, between two, after the last)
    // waits in the pipe and is handed to the next source made. The program does this so that
    // nothing of its setting up or its ending is cut short by the system's default action. Also
    // takes them out of the signals the calling thread blocks (the launcher hands them over
    // blocked): one pending since launch then counts as one that came now, which with
    // `afterFirstSource` is the disposition's. Main thread, before any source. False, with
    // `error` set, when the handler cannot be installed.
    static bool holdForTheProcess(std::span<const int> signalNumbers, Hold from, std::string& error);

private:
    SignalSource(std::vector<std::pair<int, struct sigaction>> previous, std::function<void(int)> onSignal, Delivery delivery, Takes takes,
                 int stopRead, int stopWrite);
    void readLoop();

    // Each signal with the disposition it had before.
    std::vector<std::pair<int, struct sigaction>> m_previous;
    std::function<void(int)> m_onSignal;
    Delivery m_delivery;
    Takes m_takes;
    // Ends this source's reader; the signal pipe itself only ever holds signals, so what this
    // source leaves in it is the next one's.
    int m_stop[2] = { -1, -1 };
    std::thread m_reader;
};

} // namespace lorvantine
