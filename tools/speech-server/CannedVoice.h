#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "SpokenAudio.h"

namespace lorvantine::speechserver {

// Instant stand-in for synthesis: a soft tone whose length follows the text, with the
// words spread evenly over it. Immutable after create(), so speak() is safe from any thread.
class CannedVoice {
public:
    static std::unique_ptr<CannedVoice> create(std::string& error);

    SpokenAudio speak(std::string_view text, double speed) const;

private:
    CannedVoice(std::string frame, double frameSeconds);

    std::string frame_;  // one self-contained MP3 frame of the steady tone
    double frameSeconds_;
};

}
