#pragma once

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

// Messages between the desktop server and its clients: one CBOR document each, after its length
// as four bytes, most significant first. Both ends refuse a frame above `maxBytes` before reading
// it, so a peer cannot make the other hold more than that. Reading never throws.
namespace lorvantine::DesktopFrame {

inline constexpr size_t maxBytes = size_t(1) << 20;
// Deeper messages are refused: no request or answer nests more than a few levels.
inline constexpr size_t maxDepth = 32;

struct Read {
    enum class Kind { message, closed, oversized, malformed };
    Kind kind = Kind::closed;
    nlohmann::json message;
    // Why a frame was refused, in plain words.
    std::string reason;
};

// Blocks until one whole frame arrived, the peer closed (also in the middle of a frame), or the
// frame is refused. After `oversized` the rest of the frame is unread: the caller closes.
Read read(int fd);
// A frame's payload, checked as `read` checks it.
Read decode(std::string_view payload);
// Writes the whole frame; false when the peer went away or the message is above the limit.
// Callers writing from several threads serialize their calls.
bool write(int fd, const nlohmann::json& message);

} // namespace lorvantine::DesktopFrame
