#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace lorvantine::test {

// An HTTP stand-in on loopback that passes every POST on to a server on another loopback port
// and keeps each answer's body, in the order the answers went back. Lets a test see exactly
// what a program was sent.
class RecordingProxy {
public:
    explicit RecordingProxy(int upstreamPort);
    ~RecordingProxy();
    RecordingProxy(const RecordingProxy&) = delete;
    RecordingProxy& operator=(const RecordingProxy&) = delete;

    bool isRunning() const { return m_port > 0; }
    std::string baseURL() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::vector<std::string> answers() const;

private:
    int m_upstreamPort = 0;
    int m_port = 0;
    std::unique_ptr<httplib::Server> m_server;
    std::thread m_thread;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_answers;
};

} // namespace lorvantine::test
