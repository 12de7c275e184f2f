#pragma once

#include "Platform/Services.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>

namespace lorvantine {

class DesktopSession;
class SimDesktop;

// One client of the desktop server on its socket: a reader thread reads its requests and has its
// DesktopSession answer them. Everything that goes out to it (answers, and the pushes its session
// sends from the desktop's main queue) is written by the thread that sends it when nothing waits
// to go out before it and the socket takes it at once; otherwise it waits in a queue of its own
// for a writer thread of its own, so that nobody who sends to it ever waits for it to read. Either
// way its messages go out in the order they were sent.
//
// A client that does not read is dropped once more than `maxQueuedBytes` wait for it (one
// message is always taken when nothing waits; the one going out does not count). A message above
// `maxMessageBytes` is not sent: an answer is replaced by an error answer saying why, a push is
// left out; both are logged, as is a send that fails. When the reader ends (the client closed, or
// a request could not be read) the session ends, what is still queued goes out if the socket
// takes it without waiting, and the socket is shut. A request that holds more than may be decoded
// is answered with an error and the reader goes on.
//
// Made by the server's acceptor; `start` once. The descriptor is closed by the destructor,
// which (like `stop`) joins both threads.
class ServedConnection : public std::enable_shared_from_this<ServedConnection> {
public:
    struct Limits {
        size_t maxMessageBytes = 0;
        size_t maxQueuedBytes = 0;
    };

    ServedConnection(int fd, Limits limits, std::shared_ptr<SimDesktop> desktop, PlatformServices services);
    ~ServedConnection();

    // Starts both threads; `onFinished` runs (on one of them) once both have ended. False with the
    // reason in `error` when a thread cannot be started: the client has been told, and the
    // connection finishes by itself.
    bool start(std::function<void()> onFinished, std::string& error);
    // Shuts the socket and joins the threads (the server stopping).
    void stop();
    // The reader still reads.
    bool isOpen() const { return !m_readerDone; }
    // Both threads have ended: `stop` joins without waiting.
    bool isFinished() const { return m_readerDone && m_writerDone; }

    // Tells a client that cannot be served why, without waiting for it, and closes `fd`.
    static void refuse(int fd, const std::string& reason);

    ServedConnection(const ServedConnection&) = delete;
    ServedConnection& operator=(const ServedConnection&) = delete;

private:
    static void tell(int fd, const std::string& reason);
    enum class Sent { queued, tooLarge, gone };
    Sent queue(const nlohmann::json& message, std::string& reason);
    // Queues `message`, an error answer in place of an answer that is too large; false once the
    // connection is gone.
    bool send(const nlohmann::json& message);
    void readRequests();
    void writeQueued();
    bool sendFrame(const std::string& frame);
    // What of `frame` the socket takes without waiting; under m_lock.
    size_t sendNow(const std::string& frame);
    // No more comes from the reader: the writer sends what it can at once and ends.
    void finish();
    void threadEnded(std::atomic<bool>& done);

    const int m_fd;
    const Limits m_limits;
    const std::shared_ptr<SimDesktop> m_desktop;
    const PlatformServices m_services;
    std::shared_ptr<DesktopSession> m_session;
    std::function<void()> m_onFinished;
    std::thread m_reader;
    std::thread m_writer;
    std::atomic<bool> m_readerDone { false };
    std::atomic<bool> m_writerDone { false };
    std::mutex m_lock;
    std::condition_variable m_queued;
    // Guarded by m_lock.
    std::deque<std::string> m_frames;
    size_t m_queuedBytes = 0;
    // A message has begun to go out and is not finished: what comes meanwhile waits behind it.
    // Its rest, when a sender began it, is the writer's to finish (counted apart from the queue,
    // as the message the writer holds is).
    bool m_begun = false;
    std::string m_rest;
    bool m_finishing = false;
    bool m_dropped = false;
};

} // namespace lorvantine
