#include "EndToEnd/RecordingProxy.h"

#include <httplib.h>

namespace lorvantine::test {

RecordingProxy::RecordingProxy(int upstreamPort)
    : m_upstreamPort(upstreamPort)
    , m_server(std::make_unique<httplib::Server>())
{
    m_server->Post(".*", [this](const httplib::Request& request, httplib::Response& response) {
        httplib::Client upstream("127.0.0.1", m_upstreamPort);
        upstream.set_read_timeout(30, 0);
        auto answer = upstream.Post(request.path, request.body, request.get_header_value("Content-Type"));
        if (!answer) {
            response.status = 502;
            return;
        }
        {
            std::lock_guard guard(m_mutex);
            m_answers.push_back(answer->body);
        }
        response.status = answer->status;
        response.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
    m_port = m_server->bind_to_any_port("127.0.0.1");
    if (m_port <= 0)
        return;
    m_thread = std::thread([server = m_server.get()] { server->listen_after_bind(); });
}

RecordingProxy::~RecordingProxy()
{
    m_server->stop();
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<std::string> RecordingProxy::answers() const
{
    std::lock_guard guard(m_mutex);
    return m_answers;
}

} // namespace lorvantine::test
