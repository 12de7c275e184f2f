#include "SimDesktop/Served/ServedConnection.h"

#include "Platform/Backends/DesktopFrame.h"
#include "Platform/Backends/DesktopWire.h"
#include "SimDesktop/Served/DesktopSession.h"
#include "Support/Log.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <unistd.h>

namespace lorvantine {

ServedConnection::ServedConnection(int fd, Limits limits, std::shared_ptr<SimDesktop> desktop, PlatformServices services)
    : m_fd(fd)
    , m_limits(limits)
    , m_desktop(std::move(desktop))
    , m_services(std::move(services))
{
}

ServedConnection::~ServedConnection()
{
    stop();
    ::close(m_fd);
}

bool ServedConnection::start(std::function<void()> onFinished, std::string& error)
{
    m_onFinished = std::move(onFinished);
    std::weak_ptr<ServedConnection> weak = weak_from_this();
    m_session = std::make_shared<DesktopSession>(m_desktop, m_services, [weak](const nlohmann::json& message) {
        auto self = weak.lock();
        return self && self->send(message);
    });
    const std::string cannotServe = "the desktop server cannot serve another client now: no thread could be started for it (";
    try {
        m_writer = std::thread([this] { writeQueued(); });
    } catch (const std::system_error& failure) {
        error = cannotServe + failure.what() + ")";
        tell(m_fd, error);
        ::shutdown(m_fd, SHUT_RDWR);
        m_session->end();
        m_readerDone = true;
        threadEnded(m_writerDone);
        return false;
    }
    try {
        m_reader = std::thread([this] { readRequests(); });
    } catch (const std::system_error& failure) {
        error = cannotServe + failure.what() + ")";
        send({ { "error", error } });
        m_session->end();
        finish();
        threadEnded(m_readerDone);
        return false;
    }
    return true;
}

void ServedConnection::stop()
{
    ::shutdown(m_fd, SHUT_RDWR);
    finish();
    for (std::thread* thread : { &m_reader, &m_writer })
        if (thread->joinable() && thread->get_id() != std::this_thread::get_id())
            thread->join();
}

void ServedConnection::refuse(int fd, const std::string& reason)
{
    if (fd < 0)
        return;
    Log::line("[DesktopServer] refused a connection: " + reason);
    tell(fd, reason);
    ::close(fd);
}

void ServedConnection::tell(int fd, const std::string& reason)
{
    if (auto frame = DesktopFrame::encode({ { "error", reason } }))
        (void)!::send(fd, frame.value().data(), frame.value().size(), MSG_DONTWAIT | MSG_NOSIGNAL);
}

ServedConnection::Sent ServedConnection::queue(const nlohmann::json& message, std::string& reason)
{
    auto frame = DesktopFrame::encode(message, m_limits.maxMessageBytes);
    if (!frame) {
        reason = frame.error();
        return Sent::tooLarge;
    }
    std::lock_guard lock(m_lock);
    if (m_finishing || m_dropped)
        return Sent::gone;
    // Nothing is ahead of it: it goes out on this thread as far as the socket takes it at once
    // (under the lock, so that no other message starts meanwhile). Only its rest, if any, is left
    // to the writer, which finishes it before anything sent after it.
    if (!m_begun && m_frames.empty()) {
        const size_t sent = sendNow(frame.value());
        if (sent < frame.value().size()) {
            frame.value().erase(0, sent);
            m_rest = std::move(frame.value());
            m_begun = true;
            m_queued.notify_all();
        }
        return Sent::queued;
    }
    if (!m_frames.empty() && m_queuedBytes + frame.value().size() > m_limits.maxQueuedBytes) {
        Log::line("[DesktopServer] dropping a client that does not read what it is sent: " + std::to_string(m_frames.size())
                  + " messages (" + std::to_string(m_queuedBytes) + " bytes) wait for it");
        m_dropped = true;
        m_frames.clear();
        m_rest.clear();
        m_queuedBytes = 0;
        ::shutdown(m_fd, SHUT_RDWR);
        m_queued.notify_all();
        return Sent::gone;
    }
    m_queuedBytes += frame.value().size();
    m_frames.push_back(std::move(frame.value()));
    m_queued.notify_all();
    return Sent::queued;
}

bool ServedConnection::send(const nlohmann::json& message)
{
    std::string reason;
    const Sent sent = queue(message, reason);
    if (sent != Sent::tooLarge)
        return sent == Sent::queued;
    auto id = DesktopWire::integer(message, "id");
    Log::line("[DesktopServer] " + std::string(id ? "an answer" : "a notification") + " not sent to a client: " + reason);
    if (!id)
        return true;
    return queue({ { "id", *id }, { "error", "the answer is too large to send: " + reason } }, reason) == Sent::queued;
}

void ServedConnection::readRequests()
{
    for (;;) {
        DesktopFrame::Read read = DesktopFrame::read(m_fd, m_limits.maxMessageBytes);
        if (read.kind == DesktopFrame::Read::Kind::closed)
            break;
        // Only what it asked is refused: the frame was read whole, so the next one reads as usual.
        if (read.kind == DesktopFrame::Read::Kind::refused) {
            nlohmann::json refusal = { { "error", read.reason } };
            if (read.id)
                refusal["id"] = *read.id;
            if (!send(refusal))
                break;
            continue;
        }
        if (read.kind != DesktopFrame::Read::Kind::message) {
            send({ { "error", read.reason } });
            break;
        }
        DesktopSession::Answer answer = m_session->answer(read.message);
        if (answer.later)
            continue;
        if (!send(answer.message) || answer.close)
            break;
    }
    // The client is gone or refused: it hears nothing more, and what it registered goes.
    m_session->end();
    finish();
    threadEnded(m_readerDone);
}

void ServedConnection::finish()
{
    {
        std::lock_guard lock(m_lock);
        m_finishing = true;
    }
    m_queued.notify_all();
    // Wakes a writer waiting for room on the socket.
    ::shutdown(m_fd, SHUT_RD);
}

void ServedConnection::writeQueued()
{
    for (;;) {
        std::string frame;
        {
            std::unique_lock lock(m_lock);
            m_queued.wait(lock, [&] { return !m_rest.empty() || !m_frames.empty() || m_finishing || m_dropped; });
            if (m_dropped || (m_rest.empty() && m_frames.empty()))
                break;
            if (!m_rest.empty()) {
                frame = std::move(m_rest);
                m_rest.clear();
            } else {
                frame = std::move(m_frames.front());
                m_frames.pop_front();
                m_queuedBytes -= frame.size();
                m_begun = true;
            }
        }
        const bool sent = sendFrame(frame);
        const int failure = errno;
        std::lock_guard lock(m_lock);
        m_begun = false;
        if (!sent) {
            if (!m_dropped && !m_finishing)
                Log::line(std::string("[DesktopServer] could not send to a client (") + std::strerror(failure) + "): its connection ends");
            break;
        }
    }
    ::shutdown(m_fd, SHUT_RDWR);
    threadEnded(m_writerDone);
}

size_t ServedConnection::sendNow(const std::string& frame)
{
    size_t done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.data() + done, frame.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            break; // Full, or failed: the writer finds out which.
    }
    return done;
}

// Waits for room on the socket while the client is served; once it is being finished, sends only
// what the socket takes at once.
bool ServedConnection::sendFrame(const std::string& frame)
{
    size_t done = 0;
    while (done < frame.size()) {
        const ssize_t n = ::send(m_fd, frame.data() + done, frame.size() - done, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            {
                std::lock_guard lock(m_lock);
                if (m_finishing || m_dropped)
                    return false;
            }
            pollfd room { m_fd, POLLOUT | POLLRDHUP, 0 };
            ::poll(&room, 1, -1);
            continue;
        }
        return false;
    }
    return true;
}

void ServedConnection::threadEnded(std::atomic<bool>& done)
{
    done = true;
    if (isFinished() && m_onFinished)
        m_onFinished();
}

} // namespace lorvantine
