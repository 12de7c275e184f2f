#pragma once

#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <gtest/gtest.h>

namespace lorvantine::test {

// A cpp-httplib server on a free loopback port, serving on its own thread for the test's life.
class LoopbackServer {
public:
    httplib::Server http;

    // Register handlers on `http` first.
    void start()
    {
        // One request per connection: kept-alive connections would each hold one of the
        // server's few threads while many exchanges run at once.
        http.set_keep_alive_max_count(1);
        m_port = http.bind_to_any_port("127.0.0.1");
        ASSERT_GT(m_port, 0);
        m_thread = std::thread([this] { http.listen_after_bind(); });
    }
    ~LoopbackServer()
    {
        http.stop();
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

private:
    int m_port = 0;
    std::thread m_thread;
};

// A bare TCP socket on a free loopback port, for servers that misbehave below HTTP.
class RawSocket {
public:
    enum class Mode {
        listenOnly,        // the handshake completes in the kernel; nobody ever answers
        closeAfterRequest, // reads what arrives, then hangs up without a reply
    };

    explicit RawSocket(Mode mode)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(m_fd, 16);
        socklen_t length = sizeof address;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
        if (mode == Mode::closeAfterRequest) {
            m_thread = std::thread([this] {
                int client = ::accept(m_fd, nullptr, nullptr);
                if (client < 0)
                    return;
                char buffer[4096];
                (void)::recv(client, buffer, sizeof buffer, 0);
                ::close(client);
            });
        }
    }
    ~RawSocket()
    {
        ::shutdown(m_fd, SHUT_RDWR);
        ::close(m_fd);
        if (m_thread.joinable())
            m_thread.join();
    }
    int port() const { return m_port; }
    std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(m_port) + path; }

    // A port on which nothing listens.
    static int closedPort()
    {
        RawSocket socket(Mode::listenOnly);
        return socket.port();
    }

private:
    int m_fd = -1;
    int m_port = 0;
    std::thread m_thread;
};

// Collects values handed over from other threads; waits in real time, bounded.
template<typename T>
class Inbox {
public:
    void put(T value)
    {
        std::lock_guard lock(m_mutex);
        m_values.push_back(std::move(value));
        m_changed.notify_all();
    }
    // Waits until `count` values have arrived; false after `timeout`.
    bool waitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] { return m_values.size() >= count; });
    }
    std::vector<T> values() const
    {
        std::lock_guard lock(m_mutex);
        return m_values;
    }
    size_t size() const
    {
        std::lock_guard lock(m_mutex);
        return m_values.size();
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<T> m_values;
};

} // namespace lorvantine::test
