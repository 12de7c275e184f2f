#pragma once

#include "Platform/Backends/DesktopFrame.h"

#include <chrono>
#include <fcntl.h>
#include <linux/sockios.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <poll.h>
#include <string>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

namespace lorvantine::test {

// A client that speaks raw frames, connecting without waiting.
class RawClient {
public:
    RawClient(const RawClient&) = delete;
    RawClient() = default;
    ~RawClient() { close(); }

    // Makes its socket before it connects: a test that holds every other descriptor of the
    // process still has this one.
    bool makeSocket()
    {
        if (m_fd < 0)
            m_fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        return m_fd >= 0;
    }
    // False when the server's queue of waiting connections is full (or nothing listens).
    bool connect(const std::string& path)
    {
        makeSocket();
        sockaddr_un address {};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        if (m_fd < 0 || ::connect(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
            close();
            return false;
        }
        ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL) & ~O_NONBLOCK);
        return true;
    }
    bool send(const nlohmann::json& message) { return m_fd >= 0 && DesktopFrame::write(m_fd, message); }
    bool ask() { return send({ { "id", 1 }, { "op", "wk.frontmost" } }); }
    void close()
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
    }
    int fd() const { return m_fd; }
    // Bytes written that the server has not read yet.
    int unread() const
    {
        int bytes = 0;
        ::ioctl(m_fd, SIOCOUTQ, &bytes);
        return bytes;
    }

private:
    int m_fd = -1;
};

enum class Heard { served, refused, closed, nothing };

inline void PrintTo(Heard heard, std::ostream* out)
{
    const char* names[] = { "served", "refused", "closed", "nothing" };
    *out << names[static_cast<int>(heard)];
}

// What each client heard back within `limit` (all waited for together).
inline std::vector<Heard> hearFrom(const std::vector<RawClient*>& clients, std::chrono::milliseconds limit)
{
    std::vector<Heard> heard(clients.size(), Heard::nothing);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        std::vector<pollfd> waiting;
        std::vector<size_t> which;
        for (size_t i = 0; i < clients.size(); ++i)
            if (heard[i] == Heard::nothing && clients[i]->fd() >= 0) {
                waiting.push_back({ clients[i]->fd(), POLLIN, 0 });
                which.push_back(i);
            }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (waiting.empty() || left.count() <= 0 || ::poll(waiting.data(), waiting.size(), static_cast<int>(left.count())) <= 0)
            return heard;
        for (size_t k = 0; k < waiting.size(); ++k) {
            if (!waiting[k].revents)
                continue;
            DesktopFrame::Read read = DesktopFrame::read(waiting[k].fd);
            const bool answered = read.kind == DesktopFrame::Read::Kind::message && read.message.contains("ok");
            heard[which[k]] = answered ? Heard::served : read.kind == DesktopFrame::Read::Kind::message ? Heard::refused : Heard::closed;
        }
    }
}

// The next message a client hears within `limit`; none when it hears nothing or its connection ends.
inline std::optional<nlohmann::json> nextMessage(const RawClient& client, std::chrono::milliseconds limit)
{
    pollfd waiting { client.fd(), POLLIN, 0 };
    if (::poll(&waiting, 1, static_cast<int>(limit.count())) <= 0)
        return std::nullopt;
    DesktopFrame::Read read = DesktopFrame::read(client.fd());
    return read.kind == DesktopFrame::Read::Kind::message ? std::optional<nlohmann::json>(read.message) : std::nullopt;
}

} // namespace lorvantine::test
