#include "Platform/Backends/DesktopFrame.h"

#include "Support/JsonReading.h"

#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine::DesktopFrame {

namespace {

// Repeats `step(done, left)` until `size` bytes moved; false at the end of the stream or on an
// error. Reading and writing differ only in the call that moves the bytes.
template <class Step>
bool desktopFrameTransferFully(size_t size, Step step)
{
    size_t done = 0;
    while (done < size) {
        ssize_t n = step(done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

bool readFully(int fd, char* data, size_t size)
{
    return desktopFrameTransferFully(size, [&](size_t done, size_t left) {
        return ::recv(fd, data + done, left, 0);
    });
}

bool writeFully(int fd, const char* data, size_t size)
{
    return desktopFrameTransferFully(size, [&](size_t done, size_t left) {
        return ::send(fd, data + done, left, MSG_NOSIGNAL);
    });
}

} // namespace

Read decode(std::string_view payload)
{
    Read result;
    auto parsed = JsonReading::parseCbor(payload, { .maxDepth = maxDepth, .maxBytes = maxBytes });
    if (!parsed) {
        result.kind = Read::Kind::malformed;
        result.reason = "malformed message: " + parsed.error().message;
        return result;
    }
    if (!parsed.value().is_object()) {
        result.kind = Read::Kind::malformed;
        result.reason = "malformed message: not a map";
        return result;
    }
    result.kind = Read::Kind::message;
    result.message = std::move(parsed.value());
    return result;
}

Read read(int fd)
{
    unsigned char header[4];
    if (!readFully(fd, reinterpret_cast<char*>(header), sizeof header))
        return {};
    const size_t size = size_t(header[0]) << 24 | size_t(header[1]) << 16 | size_t(header[2]) << 8 | size_t(header[3]);
    if (size > maxBytes) {
        Read result;
        result.kind = Read::Kind::oversized;
        result.reason = "message of " + std::to_string(size) + " bytes is above the limit of "
            + std::to_string(maxBytes);
        return result;
    }
    std::string payload(size, '\0');
    if (!readFully(fd, payload.data(), size))
        return {};
    return decode(payload);
}

bool write(int fd, const nlohmann::json& message)
{
    std::vector<uint8_t> payload;
    try {
        payload = nlohmann::json::to_cbor(message);
    } catch (const std::exception&) {
        return false;
    }
    if (payload.size() > maxBytes)
        return false;
    const size_t size = payload.size();
    std::string frame;
    frame.reserve(size + 4);
    frame.push_back(static_cast<char>(size >> 24 & 0xFF));
    frame.push_back(static_cast<char>(size >> 16 & 0xFF));
    frame.push_back(static_cast<char>(size >> 8 & 0xFF));
    frame.push_back(static_cast<char>(size & 0xFF));
    frame.append(payload.begin(), payload.end());
    return writeFully(fd, frame.data(), frame.size());
}

} // namespace lorvantine::DesktopFrame
