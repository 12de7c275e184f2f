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
#include "Support/Log.h"

#include <algorithm>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine {

namespace {

using namespace std::chrono_literals;

// Pauses between attempts to reach a server that went away: doubling from the first, up to the
// longest, for as long as it stays away.
constexpr Duration firstReconnectPause = std::chrono::duration_cast<Duration>(100ms);
constexpr Duration longestReconnectPause = std::chrono::duration_cast<Duration>(2s);

// A socket to the server at `path`, checked to be served by this user; -1 with `error` set.
int remoteDesktopSocket(const std::string& path, std::string& error)
{
    auto fd = DesktopSocket::connect(path);
    if (!fd) {
        error = fd.error();
        return -1;
    }
    // What the program sends (the pasteboard, the text it reads) goes only to a server of its user.
    if (auto uid = DesktopSocket::peerUid(fd.value()); !uid || *uid != ::geteuid()) {
        error = "the desktop server at " + path + " does not run as this user";
        ::close(fd.value());
        return -1;
    }
    return fd.value();
}

} // namespace

std::shared_ptr<RemoteDesktop> RemoteDesktop::connect(const std::string& path, std::string& error)
{
    const int fd = remoteDesktopSocket(path, error);
    if (fd < 0)
        return nullptr;
    std::shared_ptr<RemoteDesktop> desktop(new RemoteDesktop(path, fd));
    desktop->startReader(fd);
    return desktop;
}

RemoteDesktop::RemoteDesktop(std::string path, int fd)
    : m_path(std::move(path))
    , m_fd(fd)
{
}

RemoteDesktop::~RemoteDesktop()
{
    int fd;
    {
        std::lock_guard lock(m_lock);
        m_state = State::closing;
        m_attempt.cancel();
        fd = m_fd;
    }
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    if (m_reader.joinable())
        m_reader.join();
    if (fd >= 0)
        ::close(fd);
}

void RemoteDesktop::startReader(int fd)
{
    uint64_t generation;
    {
        std::lock_guard lock(m_lock);
        generation = ++m_generation;
    }
    // Calls still waiting on an earlier connection answer none.
    m_answered.notify_all();
    m_reader = std::thread([this, fd, generation] { readAnswers(fd, generation); });
}

std::optional<RemoteDesktop::Json> RemoteDesktop::call(Json request)
{
    return exchange(std::move(request), false);
}

std::optional<RemoteDesktop::Json> RemoteDesktop::exchange(Json request, bool replaying)
{
    uint64_t id;
    uint64_t generation;
    int fd;
    {
        std::lock_guard lock(m_lock);
        if (m_state != State::connected && !(replaying && m_state == State::replaying))
            return std::nullopt;
        id = m_nextRequest++;
        generation = m_generation;
        fd = m_fd;
        m_answers.emplace(id, std::nullopt);
    }
    request["id"] = id;
    auto frame = DesktopFrame::encode(request);
    if (!frame)
        Log::line("[Desktop] a request not sent to the desktop server: " + frame.error());
    bool sent = false;
    if (frame) {
        std::lock_guard lock(m_writeLock);
        sent = DesktopFrame::writeBytes(fd, frame.value());
    }
    std::unique_lock lock(m_lock);
    if (sent)
        m_answered.wait(lock, [&] {
            return m_answers[id].has_value() || generation != m_generation || m_state == State::lost || m_state == State::closing;
        });
    std::optional<Json> answer = std::move(m_answers[id]);
    m_answers.erase(id);
    lock.unlock();
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
    m_kept.erase(channel);
}

void RemoteDesktop::keep(uint64_t channel, const std::string& key, std::optional<Json> request)
{
    std::lock_guard lock(m_lock);
    if (!m_channels.contains(channel))
        return;
    auto& kept = m_kept[channel];
    auto it = std::find_if(kept.begin(), kept.end(), [&](const auto& entry) { return entry.first == key; });
    if (request && it != kept.end())
        it->second = std::move(*request);
    else if (request)
        kept.emplace_back(key, std::move(*request));
    else if (it != kept.end())
        kept.erase(it);
    if (kept.empty())
        m_kept.erase(channel);
}

bool RemoteDesktop::isConnected() const
{
    std::lock_guard lock(m_lock);
    return m_state == State::connected;
}

void RemoteDesktop::readAnswers(int fd, uint64_t generation)
{
    for (;;) {
        DesktopFrame::Read read = DesktopFrame::read(fd);
        // One message too large to decode is left out; the call it answers answers none.
        if (read.kind == DesktopFrame::Read::Kind::refused) {
            Log::line("[Desktop] a message of the desktop server left unread: " + read.reason);
            if (read.id)
                deliver({ { "id", *read.id } });
            continue;
        }
        if (read.kind != DesktopFrame::Read::Kind::message) {
            if (read.kind != DesktopFrame::Read::Kind::closed)
                Log::line("[Desktop] dropping the desktop server's connection: " + read.reason);
            break;
        }
        // A client the server cannot serve is told why before it is closed.
        if (const std::string* error = DesktopWire::string(read.message, "error"); error && !read.message.contains("id"))
            Log::line("[Desktop] the desktop server closed this connection: " + *error);
        deliver(read.message);
    }
    lost(generation);
}

void RemoteDesktop::lost(uint64_t generation)
{
    {
        std::lock_guard lock(m_lock);
        if (generation != m_generation || m_state == State::closing || m_state == State::lost)
            return;
        m_state = State::lost;
    }
    m_answered.notify_all();
    Log::line("[Desktop] lost the desktop server at " + m_path + ": connecting again");
    reconnectAfter(Duration::zero());
}

void RemoteDesktop::reconnectAfter(Duration pause)
{
    // Only a weak hold: the attempt must not keep this connection alive.
    auto attempt = [weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->reconnect();
    };
    std::lock_guard lock(m_lock);
    if (m_state == State::closing)
        return;
    if (pause == Duration::zero())
        DispatchQueue::global().async(std::move(attempt));
    else
        m_attempt = DispatchQueue::global().asyncAfter(pause, std::move(attempt));
}

void RemoteDesktop::reconnect()
{
    std::string error;
    const int fd = remoteDesktopSocket(m_path, error);
    if (fd < 0) {
        Duration pause;
        {
            std::lock_guard lock(m_lock);
            m_pause = std::min(m_pause == Duration::zero() ? firstReconnectPause : m_pause * 2, longestReconnectPause);
            pause = m_pause;
        }
        reconnectAfter(pause);
        return;
    }
    // The reader of the lost connection has ended: it reported the loss.
    if (m_reader.joinable())
        m_reader.join();
    int previous;
    std::optional<Json> registration;
    std::vector<Json> kept;
    {
        std::lock_guard lock(m_lock);
        if (m_state != State::lost) {
            ::close(fd);
            return;
        }
        previous = m_fd;
        m_fd = fd;
        m_state = State::replaying;
        m_pause = Duration::zero();
        registration = m_registration;
        for (const auto& [channel, requests] : m_kept)
            for (const auto& [key, request] : requests)
                kept.push_back(request);
    }
    ::close(previous);
    startReader(fd);
    // What this client had set up there: its application before what listens to it.
    size_t refused = 0;
    if (registration) {
        auto answer = exchange(*registration, true);
        refused += answer && answer->is_boolean() && answer->get<bool>() ? 0 : 1;
    }
    for (Json& request : kept)
        refused += exchange(std::move(request), true) ? 0 : 1;
    {
        std::lock_guard lock(m_lock);
        if (m_state != State::replaying)
            return;
        m_state = State::connected;
    }
    Log::line("[Desktop] connected again to the desktop server at " + m_path
              + (refused ? ": " + std::to_string(refused) + " of the things this program had set up there were refused" : ""));
    DispatchQueue::main().async([weak = weak_from_this()] {
        auto self = weak.lock();
        if (self && self->onReconnected)
            self->onReconnected();
    });
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
    const Json request = { { "op", "app.register" }, { "app", DesktopWire::application(application) } };
    auto answer = call(request);
    const bool registered = answer && answer->is_boolean() && answer->get<bool>();
    if (registered) {
        std::lock_guard lock(m_lock);
        m_registration = request;
    }
    return registered;
}

} // namespace lorvantine
