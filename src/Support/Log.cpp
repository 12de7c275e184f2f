#include "Support/Log.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unistd.h>

namespace lorvantine {
namespace Log {

namespace {

struct Sink {
    Capture::Echo echo;
    std::vector<std::string> lines;
};

// One lock orders the writes to standard error and the captures' lists, so a captured
// sequence is exactly the order in which the lines reached the terminal.
std::mutex& logMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::vector<Sink*>& activeCaptures()
{
    static std::vector<Sink*> captures;
    return captures;
}

void writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data += written;
        size -= static_cast<size_t>(written);
    }
}

} // namespace

struct Capture::State : Sink {};

void line(std::string_view text)
{
    std::string buffer;
    buffer.reserve(text.size() + 1);
    buffer.append(text);
    buffer.push_back('\n');

    std::lock_guard lock(logMutex());
    bool silenced = false;
    for (Sink* capture : activeCaptures()) {
        capture->lines.emplace_back(text);
        if (capture->echo == Capture::Echo::no)
            silenced = true;
    }
    if (!silenced)
        writeAll(STDERR_FILENO, buffer.data(), buffer.size());
}

Capture::Capture(Echo echo)
    : m_state(new State{{echo, {}}})
{
    std::lock_guard lock(logMutex());
    activeCaptures().push_back(m_state);
}

Capture::~Capture()
{
    {
        std::lock_guard lock(logMutex());
        auto& captures = activeCaptures();
        captures.erase(std::remove(captures.begin(), captures.end(), m_state), captures.end());
    }
    delete m_state;
}

std::vector<std::string> Capture::lines() const
{
    std::lock_guard lock(logMutex());
    return m_state->lines;
}

std::vector<std::string> Capture::linesContaining(std::string_view needle) const
{
    std::lock_guard lock(logMutex());
    std::vector<std::string> found;
    for (const std::string& captured : m_state->lines) {
        if (captured.find(needle) != std::string::npos)
            found.push_back(captured);
    }
    return found;
}

void Capture::clear()
{
    std::lock_guard lock(logMutex());
    m_state->lines.clear();
}

} // namespace Log
} // namespace lorvantine
