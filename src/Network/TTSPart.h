#pragma once

#include "Network/TTSTimestamp.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lorvantine {

// One answer of the speech server.
struct TTSPart {
    std::vector<std::uint8_t> mp3Data;
    std::vector<TTSTimestamp> timestamps;
    // The text this part's audio speaks.
    std::string processedText;
    // The rest of the request text, still to be sent, exactly as the server wrote it (untrimmed).
    std::string unprocessedText;

    bool operator==(const TTSPart&) const = default;
};

} // namespace lorvantine
