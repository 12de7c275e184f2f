#pragma once

#include <string>
#include <vector>

namespace lorvantine::speechserver {

// One spoken word; times are seconds from the start of the part's audio.
struct WordTiming {
    std::string word;
    double start = 0;
    double end = 0;
};

// The audio of one answer: MP3 bytes plus the timing of every word in it.
struct SpokenAudio {
    std::string mp3;
    std::vector<WordTiming> words;
    double durationSeconds = 0;
};

}
