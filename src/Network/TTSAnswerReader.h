#pragma once

#include "Network/TTSPart.h"
#include "Support/Expected.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace lorvantine {

// Reads the body of a speech answer into a part: the audio decoded, the timestamps and the two
// texts as the server sent them. Answers are mostly one long base64 string, so the body is
// parsed where it lies and the audio decoded once, straight into its buffer.
namespace TTSAnswerReader {

enum class Fault {
    // Not JSON, not an object or array at the top, or beyond the limits.
    notJSON,
    // JSON, but an array.
    notAnObject,
    // Neither "audio" nor "audio_base64" is a string.
    noAudio,
    // The audio text is not standard padded base64.
    badAudio,
};

struct Limits {
    size_t maxDepth = 16;
    // Values of any kind, containers included, as JsonReading counts them.
    size_t maxValues = 0;
    // Timestamps beyond this many are dropped.
    size_t maxTimestamps = 0;
};

// A part whose processed text is empty when the server left it so. Where members repeat, the
// last one counts.
Expected<TTSPart, Fault> read(std::vector<std::uint8_t> body, Limits limits);

} // namespace TTSAnswerReader
} // namespace lorvantine
