#pragma once

#include "Support/Expected.h"

#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>

// Messages between the desktop server and its clients: one CBOR document each, after its length
// as four bytes, most significant first. Both ends refuse a frame above their limit before
// reading it, and the bytes of a frame are kept only as they arrive, so a peer that announces a
// large frame and sends nothing makes the other hold nothing. Reading never throws.
namespace lorvantine::DesktopFrame {

// Large enough for what a desktop holds in one value: a clipboard of several representations
// (a browser's copy), a window's picture.
inline constexpr size_t maxBytes = size_t(64) << 20;
// Deeper messages are refused: no request or answer nests more than a few levels.
inline constexpr size_t maxDepth = 32;
// Messages holding more values (containers included) are refused: decoded, a value costs some 80
// bytes, even one sent as a single byte (an empty map). The largest real message (the words
// recognised on a whole screen, eight values each) holds some tens of thousands; at this bound the
// values of one frame take some 84 MB at most, beside the bytes it carries.
inline constexpr size_t maxValues = size_t(1) << 20;

struct Read {
    // `refused`: a whole frame that holds more than may be decoded (above maxValues or maxDepth).
    // Its bytes are read, so the frames after it read as usual.
    enum class Kind { message, closed, oversized, malformed, refused };
    Kind kind = Kind::closed;
    nlohmann::json message;
    // Why a frame was refused, in plain words.
    std::string reason;
    // A refused frame's "id" (a top-level integer), when it comes before what was refused.
    std::optional<int64_t> id;
};

// Blocks until one whole frame arrived, the peer closed (also in the middle of a frame), or the
// frame is refused. After `oversized` the rest of the frame is unread: the caller closes.
Read read(int fd, size_t limit = maxBytes);
// A frame's payload, checked as `read` checks it.
Read decode(std::string_view payload, size_t limit = maxBytes);
// The whole frame of `message`, or why it cannot be sent (above `limit`, or not encodable).
Expected<std::string, std::string> encode(const nlohmann::json& message, size_t limit = maxBytes);
// Writes all of `bytes`, blocking; false when the peer went away.
bool writeBytes(int fd, std::string_view bytes);
// `encode` and `writeBytes`; false when the peer went away or the message is above the limit.
// Callers writing from several threads serialize their calls.
bool write(int fd, const nlohmann::json& message);

} // namespace lorvantine::DesktopFrame
