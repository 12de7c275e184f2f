#pragma once

#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Services.h"

#include <atomic>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace lorvantine {

class ServedConnection;
class SimDesktop;

// Serves one simulated desktop to other processes over a Unix socket: each connection is a
// DesktopSession whose requests are read on a thread of its own; what goes out to it (answers,
// and the notifications and activations its desktop pushes from the main queue, so the process
// runs the main run loop) is written at once when the socket takes it, else waits in the
// connection's own queue for a writer thread of its own (ServedConnection).
// A client that stops reading holds up nobody else: once more than `maxQueuedBytes` wait for it,
// its connection is dropped, with one log line.
//
// Only processes of the server's own user are served: another user's connection is closed
// unanswered, with one log line. A message that cannot be read, or one above the frame limit,
// gets an error answer and its connection is closed; a whole message that holds more than may be
// decoded (DesktopFrame::maxValues, maxDepth) gets an error answer and the client is served on;
// an answer above the limit is replaced by an error answer. A client the server cannot serve (no
// descriptor or thread left for it) is told so and closed; the server goes on with the others,
// and a connection that has ended gives its descriptor back at once, so the server serves new
// clients again as soon as others leave.
// Clients never take the last descriptors the process may open (a quarter of its limit, at most
// 64): those are left to the rest of the process, whose libraries and runtime need a few as they go.
// Stopping (the destructor) closes every connection, joins their threads and removes the socket
// file.
class DesktopServer {
public:
    struct Options {
        // Who is at the other end of a new connection (tests stand in for another user).
        std::function<std::optional<uid_t>(int fd)> peerUid;
        // The largest message read from a client or sent to one.
        size_t maxMessageBytes = DesktopFrame::maxBytes;
        // What may wait for a client before it is taken for one that does not read. One message
        // is always taken when nothing waits, however large.
        size_t maxQueuedBytes = size_t(16) << 20;
    };

    // None with the reason in `error` when the socket cannot be made at `path` (see
    // DesktopSocket::listen: an unsafe place, a server already running).
    static std::unique_ptr<DesktopServer> start(std::shared_ptr<SimDesktop> desktop, const std::string& path,
                                                std::string& error, Options options);
    static std::unique_ptr<DesktopServer> start(std::shared_ptr<SimDesktop> desktop, const std::string& path, std::string& error);
    ~DesktopServer();

    const std::string& path() const { return m_path; }
    // Connections open now.
    size_t connectionCount() const;

    DesktopServer(const DesktopServer&) = delete;
    DesktopServer& operator=(const DesktopServer&) = delete;

private:
    DesktopServer(std::shared_ptr<SimDesktop> desktop, std::string path, int listener, Options options);
    void acceptConnections();
    // When no descriptor is left for the next client: tells it so with the one kept in reserve.
    bool refuseWithReserve();
    void admit(int fd);
    void reapFinished();
    void wake();

    const std::shared_ptr<SimDesktop> m_desktop;
    const PlatformServices m_services;
    const std::string m_path;
    const int m_listener;
    int m_wake[2] = { -1, -1 };
    // Kept open to be given up for a refusal when every other descriptor is taken.
    int m_reserve = -1;
    const Options m_options;
    std::atomic<bool> m_stopping { false };
    std::thread m_acceptor;
    mutable std::mutex m_lock;
    // Guarded by m_lock.
    std::list<std::shared_ptr<ServedConnection>> m_connections;
};

} // namespace lorvantine
