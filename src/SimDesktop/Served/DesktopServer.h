#pragma once

#include "Platform/Services.h"

#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <sys/types.h>
#include <thread>

namespace lorvantine {

class SimDesktop;
class DesktopSession;

// Serves one simulated desktop to other processes over a Unix socket: each connection is a
// DesktopSession, answered on a thread of its own; what the desktop pushes (notifications,
// activations) goes out from its main queue, so the process runs the main run loop.
//
// Only processes of the server's own user are served: another user's connection is closed
// unanswered, with one log line. A message that cannot be read, or one above the frame limit,
// gets an error answer and its connection is closed. Stopping (the destructor) closes every
// connection, joins their threads and removes the socket file.
class DesktopServer {
public:
    struct Options {
        // Who is at the other end of a new connection (tests stand in for another user).
        std::function<std::optional<uid_t>(int fd)> peerUid;
    };

    // None with the reason in `error` when the socket cannot be made at `path` (see
    // DesktopSocket::listen: an unsafe place, a server already running).
    static std::unique_ptr<DesktopServer> start(std::shared_ptr<SimDesktop> desktop, const std::string& path,
                                                std::string& error, Options options = {});
    ~DesktopServer();

    const std::string& path() const { return m_path; }
    // Connections open now.
    size_t connectionCount() const;

    DesktopServer(const DesktopServer&) = delete;
    DesktopServer& operator=(const DesktopServer&) = delete;

private:
    struct Connection;
    DesktopServer(std::shared_ptr<SimDesktop> desktop, std::string path, int listener, Options options);
    void acceptConnections();
    void serve(const std::shared_ptr<Connection>& connection);
    void reapFinished();

    const std::shared_ptr<SimDesktop> m_desktop;
    const PlatformServices m_services;
    const std::string m_path;
    const int m_listener;
    int m_wake[2] = { -1, -1 };
    const Options m_options;
    std::thread m_acceptor;
    mutable std::mutex m_lock;
    // Guarded by m_lock.
    std::list<std::shared_ptr<Connection>> m_connections;
};

} // namespace lorvantine
