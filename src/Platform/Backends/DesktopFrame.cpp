#include "Platform/Backends/DesktopFrame.h"

#include "Support/JsonReading.h"

#include <algorithm>
#include <cerrno>
#include <sys/socket.h>
#include <unistd.h>

namespace lorvantine::DesktopFrame {

namespace {

// The first piece of a frame's payload that is made room for; each further piece doubles what
// has come, so the room held is never much more than the bytes received.
constexpr size_t firstPieceBytes = 64 * 1024;

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

std::string sizeReason(const char* what, size_t size, size_t limit)
{
    return std::string(what) + " of " + std::to_string(size) + " bytes is above the limit of " + std::to_string(limit);
}

// Finds the top-level "id" of a message without building anything, so that a refused request can
// still be answered as such. Stops at the id, and at nesting no message may have.
class DesktopFrameIdScanner {
public:
    using Json = nlohmann::json;

    bool null() { return value(std::nullopt); }
    bool boolean(bool) { return value(std::nullopt); }
    bool number_integer(Json::number_integer_t number) { return value(number); }
    bool number_unsigned(Json::number_unsigned_t number)
    {
        return value(number <= uint64_t(INT64_MAX) ? std::optional<int64_t>(static_cast<int64_t>(number)) : std::nullopt);
    }
    bool number_float(Json::number_float_t, const Json::string_t&) { return value(std::nullopt); }
    bool string(Json::string_t&) { return value(std::nullopt); }
    bool binary(Json::binary_t&) { return value(std::nullopt); }
    bool start_object(std::size_t) { return enter(); }
    bool end_object() { return leave(); }
    bool start_array(std::size_t) { return enter(); }
    bool end_array() { return leave(); }
    bool key(Json::string_t& name)
    {
        m_atId = m_depth == 1 && name == "id";
        return true;
    }
    template <typename Exception>
    bool parse_error(std::size_t, const std::string&, const Exception&)
    {
        return false;
    }

    std::optional<int64_t> id() const { return m_id; }

private:
    // False once the id is known: the rest need not be read.
    bool value(std::optional<int64_t> number)
    {
        if (!m_atId || m_depth != 1)
            return true;
        m_id = number;
        return false;
    }
    bool enter()
    {
        if (m_atId && m_depth == 1)
            return false;
        return ++m_depth <= maxDepth;
    }
    bool leave()
    {
        --m_depth;
        return true;
    }

    size_t m_depth = 0;
    bool m_atId = false;
    std::optional<int64_t> m_id;
};

std::optional<int64_t> topLevelId(std::string_view payload)
{
    DesktopFrameIdScanner scanner;
    try {
        nlohmann::json::sax_parse(payload.begin(), payload.end(), &scanner, nlohmann::json::input_format_t::cbor);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return scanner.id();
}

} // namespace

Read decode(std::string_view payload, size_t limit)
{
    Read result;
    auto parsed = JsonReading::parseCbor(payload, { .maxDepth = maxDepth, .maxBytes = limit, .maxValues = maxValues });
    if (!parsed && parsed.error().beyondLimits) {
        result.kind = Read::Kind::refused;
        result.reason = "refused message: " + parsed.error().message;
        result.id = topLevelId(payload);
        return result;
    }
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

Read read(int fd, size_t limit)
{
    unsigned char header[4];
    if (!readFully(fd, reinterpret_cast<char*>(header), sizeof header))
        return {};
    const size_t size = size_t(header[0]) << 24 | size_t(header[1]) << 16 | size_t(header[2]) << 8 | size_t(header[3]);
    if (size > limit) {
        Read result;
        result.kind = Read::Kind::oversized;
        result.reason = sizeReason("message", size, limit);
        return result;
    }
    std::string payload;
    while (payload.size() < size) {
        const size_t done = payload.size();
        payload.resize(std::min(size, std::max(firstPieceBytes, 2 * done)));
        if (!readFully(fd, payload.data() + done, payload.size() - done))
            return {};
    }
    return decode(payload, limit);
}

Expected<std::string, std::string> encode(const nlohmann::json& message, size_t limit)
{
    std::vector<uint8_t> payload;
    try {
        payload = nlohmann::json::to_cbor(message);
    } catch (const std::exception& error) {
        return Unexpected(std::string("a message that cannot be encoded: ") + error.what());
    }
    if (payload.size() > limit)
        return Unexpected(sizeReason("a message", payload.size(), limit));
    const size_t size = payload.size();
    std::string frame;
    frame.reserve(size + 4);
    frame.push_back(static_cast<char>(size >> 24 & 0xFF));
    frame.push_back(static_cast<char>(size >> 16 & 0xFF));
    frame.push_back(static_cast<char>(size >> 8 & 0xFF));
    frame.push_back(static_cast<char>(size & 0xFF));
    frame.append(payload.begin(), payload.end());
    return frame;
}

bool writeBytes(int fd, std::string_view bytes)
{
    return desktopFrameTransferFully(bytes.size(), [&](size_t done, size_t left) {
        return ::send(fd, bytes.data() + done, left, MSG_NOSIGNAL);
    });
}

bool write(int fd, const nlohmann::json& message)
{
    auto frame = encode(message);
    return frame && writeBytes(fd, frame.value());
}

} // namespace lorvantine::DesktopFrame
