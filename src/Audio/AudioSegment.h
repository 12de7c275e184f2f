#pragma once

#include "Network/TTSTimestamp.h"

#include <cstdint>
#include <string>
#include <vector>

namespace lorvantine {

// One playable piece of a paragraph, made from one answer of the speech server.
struct AudioSegment {
    int paragraphIndex = 0;
    std::vector<std::uint8_t> mp3Data;
    // Times from the start of this piece's audio.
    std::vector<TTSTimestamp> timestamps;
    std::string processedText;
    // Characters in the processed text of the same paragraph's earlier pieces.
    int textOffsetInParagraph = 0;
    // The reading generation that produced the piece; the player drops pieces of any other.
    int generation = 0;

    bool operator==(const AudioSegment&) const = default;
};

} // namespace lorvantine
