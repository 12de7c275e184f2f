#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "SpokenAudio.h"

namespace lorvantine::speechserver {

// espeak-ng in synchronous mode. espeak-ng keeps global state, so there is at most one
// Synthesizer per process and every call to speak() is serialised by its own lock;
// speak() may be called from any thread.
class Synthesizer {
public:
    struct Speech {
        std::vector<int16_t> samples;  // mono, 16 bit
        int sampleRate = 0;
        std::vector<WordTiming> words;  // end of a word = start of the next, last ends with the audio
    };

    // Fails (with a message) when espeak-ng or its data cannot be loaded.
    static std::unique_ptr<Synthesizer> create(std::string& error);

    // The espeak-ng language for a server voice code: "cmn" for zf_/zm_, "en-gb" for bf_/bm_,
    // "en-us" for everything else.
    static std::string languageForVoice(std::string_view voiceCode);

    // speed 1 is espeak-ng's normal rate. Empty text gives empty speech.
    std::optional<Speech> speak(std::string_view text, std::string_view voiceCode, double speed);

    Synthesizer(const Synthesizer&) = delete;
    Synthesizer& operator=(const Synthesizer&) = delete;
    ~Synthesizer();

private:
    explicit Synthesizer(int sampleRate);

    std::mutex mutex_;
    int sampleRate_;
    std::string currentLanguage_;
};

}
