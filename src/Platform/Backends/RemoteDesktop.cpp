#include "Platform/Backends/RemoteDesktop.h"

#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopSocket.h"
#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteAccessibility.h"
#include "Platform/Backends/RemoteEventMonitor.h"
#include "Platform/Backends/RemotePasteboard.h"
#include "Platform/Backends/RemotePermissions.h"
#include "Platform/Backends/RemoteProcesses.h"
#include "Platform/Backends/RemoteWindowCapture.h"
#include "Platform/Backends/RemoteWindowServer.h"
#include "Platform/Backends/RemoteWorkspace.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Support/Log.h"

#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine {

std::shared_ptr<RemoteDesktop> RemoteDesktop::connect(const std::string& path, std::string& error)
{
    auto fd = DesktopSocket::connect(path);
    if (!fd) {
        error = fd.error();
        return nullptr;
    }
    // What the program sends (the pasteboard, the text it reads) goes only to a server of its user.
    if (auto uid = DesktopSocket::peerUid(fd.value()); !uid || *uid != ::geteuid()) {
        error = "the desktop server at " + path + " does not run as this user";
        ::close(fd.value());
        return nullptr;
    }
    std::shared_ptr<RemoteDesktop> desktop(new RemoteDesktop(fd.value()));
    desktop->m_reader = std::thread([raw = desktop.get()] { raw->readAnswers(); });
    return desktop;
}

RemoteDesktop::RemoteDesktop(int fd)
    : m_fd(fd)
{
}

RemoteDesktop::~RemoteDesktop()
{
    ::shutdown(m_fd, SHUT_RDWR);
    if (m_reader.joinable())
        m_reader.join();
    ::close(m_fd);
}

std::optional<RemoteDesktop::Json> RemoteDesktop::call(Json request)
{
    uint64_t id;
    {
        std::lock_guard lock(m_lock);
        if (!m_connected)
            return std::nullopt;
        id = m_nextRequest++;
        m_answers.emplace(id, std::nullopt);
    }
    request["id"] = id;
    bool sent;
    {
        std::lock_guard lock(m_writeLock);
        sent = DesktopFrame::write(m_fd, request);
    }
    std::unique_lock lock(m_lock);
    if (sent)
        m_answered.wait(lock, [&] { return !m_connected || m_answers[id].has_value(); });
    std::optional<Json> answer = std::move(m_answers[id]);
    m_answers.erase(id);
    if (!answer)
        return std::nullopt;
    if (const Json* ok = DesktopWire::member(*answer, "ok"))
        return *ok;
    if (const std::string* error = DesktopWire::string(*answer, "error"))
        Log::line("[Desktop] the desktop server refused a request: " + *error);
    return std::nullopt;
}

uint64_t RemoteDesktop::openChannel(std::function<void(const Json&)> handler)
{
    std::lock_guard lock(m_lock);
    uint64_t channel = m_nextChannel++;
    m_channels[channel] = std::make_shared<std::function<void(const Json&)>>(std::move(handler));
    return channel;
}

void RemoteDesktop::closeChannel(uint64_t channel)
{
    std::lock_guard lock(m_lock);
    m_channels.erase(channel);
}

bool RemoteDesktop::isConnected() const
{
    std::lock_guard lock(m_lock);
    return m_connected;
}

void RemoteDesktop::readAnswers()
{
    for (;;) {
        DesktopFrame::Read read = DesktopFrame::read(m_fd);
        if (read.kind != DesktopFrame::Read::Kind::message) {
            if (read.kind != DesktopFrame::Read::Kind::closed)
                Log::line("[Desktop] dropping the desktop server's connection: " + read.reason);
            break;
        }
        deliver(read.message);
    }
    std::lock_guard lock(m_lock);
    m_connected = false;
    m_answered.notify_all();
}

void RemoteDesktop::deliver(const Json& message)
{
    if (auto id = DesktopWire::integer(message, "id")) {
        std::lock_guard lock(m_lock);
        auto it = m_answers.find(static_cast<uint64_t>(*id));
        if (it != m_answers.end()) {
            it->second = message;
            m_answered.notify_all();
        }
        return;
    }
    auto channel = DesktopWire::integer(message, "push");
    if (!channel)
        return;
    // Looked up when its turn comes, so a channel closed meanwhile hears nothing more.
    DispatchQueue::main().async([weak = weak_from_this(), channel = static_cast<uint64_t>(*channel), message] {
        auto self = weak.lock();
        if (!self)
            return;
        std::shared_ptr<std::function<void(const Json&)>> handler;
        {
            std::lock_guard lock(self->m_lock);
            if (auto it = self->m_channels.find(channel); it != self->m_channels.end())
                handler = it->second;
        }
        if (handler)
            (*handler)(message);
    });
}

PlatformServices RemoteDesktop::services(std::shared_ptr<ProcessPort> ownProcesses)
{
    PlatformServices services;
    auto self = shared_from_this();
    services.accessibility = std::make_shared<RemoteAccessibility>(self);
    services.windowServer = std::make_shared<RemoteWindowServer>(self);
    services.workspace = std::make_shared<RemoteWorkspace>(self);
    services.pasteboard = std::make_shared<RemotePasteboard>(self);
    services.permissions = std::make_shared<RemotePermissions>(self);
    services.windowCapture = std::make_shared<RemoteWindowCapture>(self);
    services.eventMonitor = std::make_shared<RemoteEventMonitor>(self);
    services.processes = std::make_shared<RemoteProcesses>(self, std::move(ownProcesses));
    return services;
}

bool RemoteDesktop::registerApplication(const RunningApplication& application)
{
    auto answer = call({ { "op", "app.register" }, { "app", DesktopWire::application(application) } });
    return answer && answer->is_boolean() && answer->get<bool>();
}

} // namespace lorvantine
