#pragma once

#include <string>

namespace lorvantine {

// One spoken word; times in seconds from the start of the audio of its own part.
struct TTSTimestamp {
    double start = 0;
    double end = 0;
    std::string word;

    bool operator==(const TTSTimestamp&) const = default;
};

} // namespace lorvantine
