#include "SimDesktop/Served/DesktopServer.h"

#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
#include "SimDesktop/Served/DesktopSession.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <atomic>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine {

struct DesktopServer::Connection {
    int fd = -1;
    std::mutex writeLock;
    std::shared_ptr<DesktopSession> session;
    std::thread thread;
    std::atomic<bool> finished { false };

    bool send(const nlohmann::json& message)
    {
        std::lock_guard lock(writeLock);
        return DesktopFrame::write(fd, message);
    }
};

std::unique_ptr<DesktopServer> DesktopServer::start(std::shared_ptr<SimDesktop> desktop, const std::string& path,
                                                    std::string& error, Options options)
{
    auto listener = DesktopSocket::listen(path);
    if (!listener) {
        error = listener.error();
        return nullptr;
    }
    if (!options.peerUid)
        options.peerUid = DesktopSocket::peerUid;
    return std::unique_ptr<DesktopServer>(new DesktopServer(std::move(desktop), path, listener.value(), std::move(options)));
}

DesktopServer::DesktopServer(std::shared_ptr<SimDesktop> desktop, std::string path, int listener, Options options)
    : m_desktop(std::move(desktop))
    , m_services(m_desktop->services())
    , m_path(std::move(path))
    , m_listener(listener)
    , m_options(std::move(options))
{
    if (::pipe2(m_wake, O_CLOEXEC) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_acceptor = std::thread([this] { acceptConnections(); });
}

DesktopServer::~DesktopServer()
{
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    m_acceptor.join();
    std::list<std::shared_ptr<Connection>> connections;
    {
        std::lock_guard lock(m_lock);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        ::shutdown(connection->fd, SHUT_RDWR);
    for (auto& connection : connections) {
        connection->thread.join();
        ::close(connection->fd);
    }
    ::close(m_listener);
    for (int fd : m_wake)
        if (fd >= 0)
            ::close(fd);
    ::unlink(m_path.c_str());
}

size_t DesktopServer::connectionCount() const
{
    std::lock_guard lock(m_lock);
    size_t open = 0;
    for (const auto& connection : m_connections)
        open += connection->finished ? 0 : 1;
    return open;
}

void DesktopServer::acceptConnections()
{
    for (;;) {
        pollfd fds[2] = { { m_listener, POLLIN, 0 }, { m_wake[0], POLLIN, 0 } };
        if (::poll(fds, m_wake[0] >= 0 ? 2 : 1, -1) < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        if (fds[1].revents)
            return;
        int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        auto uid = m_options.peerUid(fd);
        if (!uid || *uid != ::geteuid()) {
            Log::line("[DesktopServer] refused a connection from user id "
                      + (uid ? std::to_string(*uid) : std::string("unknown")) + ": only the desktop's own user is served");
            ::close(fd);
            continue;
        }
        // A client that stops reading must not hold up the desktop's main queue for long.
        timeval timeout { 5, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
        reapFinished();
        auto connection = std::make_shared<Connection>();
        connection->fd = fd;
        std::weak_ptr<Connection> weak = connection;
        connection->session = std::make_shared<DesktopSession>(m_desktop, m_services, [weak](const nlohmann::json& message) {
            auto self = weak.lock();
            return self && self->send(message);
        });
        std::lock_guard lock(m_lock);
        m_connections.push_back(connection);
        connection->thread = std::thread([this, connection] { serve(connection); });
    }
}

void DesktopServer::serve(const std::shared_ptr<Connection>& connection)
{
    for (;;) {
        DesktopFrame::Read read = DesktopFrame::read(connection->fd);
        if (read.kind == DesktopFrame::Read::Kind::closed)
            break;
        if (read.kind != DesktopFrame::Read::Kind::message) {
            connection->send({ { "error", read.reason } });
            break;
        }
        DesktopSession::Answer answer = connection->session->answer(read.message);
        if (answer.later)
            continue;
        if (!connection->send(answer.message) || answer.close)
            break;
    }
    // The client is gone or refused: it hears nothing more, and what it registered goes.
    connection->session->end();
    ::shutdown(connection->fd, SHUT_RDWR);
    connection->finished = true;
}

void DesktopServer::reapFinished()
{
    std::list<std::shared_ptr<Connection>> finished;
    {
        std::lock_guard lock(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            if ((*it)->finished) {
                finished.push_back(*it);
                it = m_connections.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (auto& connection : finished) {
        connection->thread.join();
        ::close(connection->fd);
    }
}

} // namespace lorvantine
