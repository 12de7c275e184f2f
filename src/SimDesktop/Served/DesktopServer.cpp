#include "SimDesktop/Served/DesktopServer.h"

#include "Platform/Backends/DesktopSocket.h"
#include "SimDesktop/Served/ServedConnection.h"
#include "SimDesktop/SimDesktop.h"
#include "Support/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine {

namespace {

// How long the acceptor leaves its socket alone after a failure it cannot answer (no memory, no
// descriptor even for a refusal), doubling up to the longest while the failures go on. A
// connection that ends wakes it sooner.
constexpr int firstBackoffMs = 50;
constexpr int longestBackoffMs = 1000;

// The last descriptors the process may open are left to the rest of it: the libraries and the
// runtime it links open pipes and files of their own as they go, one or two for each thread that
// needs them, so the share grows with the limit (a quarter of it, at most this many).
constexpr rlim_t mostSpareDescriptors = 64;

// The kernel gives out the lowest free number, so a client given one of the spare numbers means
// only those are left; and since no client is kept on one, they stay free for the rest of the
// process.
bool isSpareDescriptor(int fd)
{
    rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return false;
    const rlim_t spare = std::min(mostSpareDescriptors, limit.rlim_cur / 4);
    return static_cast<rlim_t>(fd) + spare >= limit.rlim_cur;
}

std::string noDescriptorLeft()
{
    return "the desktop server has no descriptor left for another client (" + std::string(std::strerror(EMFILE)) + ")";
}

} // namespace

std::unique_ptr<DesktopServer> DesktopServer::start(std::shared_ptr<SimDesktop> desktop, const std::string& path,
                                                    std::string& error, Options options)
{
    auto listener = DesktopSocket::listen(path);
    if (!listener) {
        error = listener.error();
        return nullptr;
    }
    // Accepting never blocks: the acceptor also wakes to give back ended connections.
    ::fcntl(listener.value(), F_SETFL, ::fcntl(listener.value(), F_GETFL) | O_NONBLOCK);
    if (!options.peerUid)
        options.peerUid = DesktopSocket::peerUid;
    return std::unique_ptr<DesktopServer>(new DesktopServer(std::move(desktop), path, listener.value(), std::move(options)));
}

std::unique_ptr<DesktopServer> DesktopServer::start(std::shared_ptr<SimDesktop> desktop, const std::string& path, std::string& error)
{
    return start(std::move(desktop), path, error, Options {});
}

DesktopServer::DesktopServer(std::shared_ptr<SimDesktop> desktop, std::string path, int listener, Options options)
    : m_desktop(std::move(desktop))
    , m_services(m_desktop->services())
    , m_path(std::move(path))
    , m_listener(listener)
    , m_options(std::move(options))
{
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    m_acceptor = std::thread([this] { acceptConnections(); });
}

DesktopServer::~DesktopServer()
{
    m_stopping = true;
    wake();
    m_acceptor.join();
    // Gone before the clients hear of it: one that connects again at once finds no server here
    // rather than this one on its way out.
    ::close(m_listener);
    ::unlink(m_path.c_str());
    std::list<std::shared_ptr<ServedConnection>> connections;
    {
        std::lock_guard lock(m_lock);
        connections.swap(m_connections);
    }
    for (auto& connection : connections)
        connection->stop();
    connections.clear();
    for (int fd : { m_wake[0], m_wake[1], m_reserve })
        if (fd >= 0)
            ::close(fd);
}

size_t DesktopServer::connectionCount() const
{
    std::lock_guard lock(m_lock);
    return static_cast<size_t>(std::count_if(m_connections.begin(), m_connections.end(),
                                             [](const auto& connection) { return connection->isOpen(); }));
}

void DesktopServer::wake()
{
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
}

void DesktopServer::acceptConnections()
{
    int backoffMs = 0;
    for (;;) {
        // While backing off only the wake-up (a connection ended, or stopping) is heard early.
        pollfd fds[2] = { { m_wake[0], POLLIN, 0 }, { m_listener, POLLIN, 0 } };
        const int ready = m_wake[0] >= 0 ? ::poll(fds, backoffMs > 0 ? 1 : 2, backoffMs > 0 ? backoffMs : -1)
                                         : ::poll(fds + 1, 1, backoffMs > 0 ? backoffMs : -1);
        if (ready < 0 && errno != EINTR)
            return;
        char drained[64];
        while (m_wake[0] >= 0 && ::read(m_wake[0], drained, sizeof drained) > 0) {
        }
        if (m_stopping)
            return;
        // Ended connections give their descriptors back whatever accepting does next.
        reapFinished();
        const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            backoffMs = 0;
            if (isSpareDescriptor(fd))
                ServedConnection::refuse(fd, noDescriptorLeft());
            else
                admit(fd);
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR || errno == ECONNABORTED)
            continue;
        const int failure = errno;
        if ((failure == EMFILE || failure == ENFILE) && refuseWithReserve()) {
            backoffMs = 0;
            continue;
        }
        if (backoffMs == 0)
            Log::line(std::string("[DesktopServer] cannot take a new connection (") + std::strerror(failure)
                      + "): trying again as connections end");
        backoffMs = std::min(backoffMs == 0 ? firstBackoffMs : backoffMs * 2, longestBackoffMs);
    }
}

bool DesktopServer::refuseWithReserve()
{
    if (m_reserve < 0)
        return false;
    ::close(m_reserve);
    const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
    const int failure = errno;
    if (fd >= 0)
        ServedConnection::refuse(fd, noDescriptorLeft());
    m_reserve = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    errno = failure;
    return fd >= 0;
}

void DesktopServer::admit(int fd)
{
    auto uid = m_options.peerUid(fd);
    if (!uid || *uid != ::geteuid()) {
        Log::line("[DesktopServer] refused a connection from user id "
                  + (uid ? std::to_string(*uid) : std::string("unknown")) + ": only the desktop's own user is served");
        ::close(fd);
        return;
    }
    auto connection = std::make_shared<ServedConnection>(
        fd, ServedConnection::Limits { m_options.maxMessageBytes, m_options.maxQueuedBytes }, m_desktop, m_services);
    {
        std::lock_guard lock(m_lock);
        m_connections.push_back(connection);
    }
    std::string error;
    if (!connection->start([this] { wake(); }, error))
        Log::line("[DesktopServer] refused a connection: " + error);
}

void DesktopServer::reapFinished()
{
    std::list<std::shared_ptr<ServedConnection>> finished;
    {
        std::lock_guard lock(m_lock);
        for (auto it = m_connections.begin(); it != m_connections.end();) {
            auto next = std::next(it);
            if ((*it)->isFinished())
                finished.splice(finished.end(), m_connections, it);
            it = next;
        }
    }
    // Joins their threads (already ended) and closes their descriptors.
    finished.clear();
}

} // namespace lorvantine
