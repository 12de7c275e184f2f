#pragma once

#include "Platform/TextRecognitionPort.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// A recogniser that reads nothing: it answers with the text that whoever drew the picture knows
// is there (the simulated desktop's text layout), optionally with the mistakes a real engine
// makes. Fast and exact, for unit tests of everything that consumes recognised text.
class DesktopTruthRecognizer final : public TextRecognitionPort {
public:
    struct Word {
        std::string text;
        Rect box; // pixels of the image handed to the provider, top-left origin
    };
    struct Line {
        std::vector<Word> words; // left to right
    };
    // What goes wrong, as chances per word (0...1). The same picture gives the same mistakes for
    // the same seed.
    struct Noise {
        double typoRate = 0; // one Character read as another
        double mergeRate = 0; // the word and the next one on its line read as one word
        double splitRate = 0; // a word of two or more Characters read as two
        uint64_t seed = 0;
    };
    // The true lines of `image`, in the order an engine would report them, or none when the
    // provider does not know the picture. Uses `image.sourceDigest` / `sourceX` / `sourceY` to
    // find a crop of a picture it drew. Called on the recognising thread.
    using TruthProvider = std::function<std::optional<std::vector<Line>>(const Image& image)>;

    explicit DesktopTruthRecognizer(TruthProvider provider);
    DesktopTruthRecognizer(TruthProvider provider, Noise noise);

    // Languages, level and correction are accepted and do not change the answer. Words whose
    // centre lies outside the image are not seen; the others are clipped to it. A line's words are
    // written as RecognizedLineBuilder writes them, apart where a blank wider than a character
    // parts them (a line given across a gutter).
    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image,
                                                               const TextRecognitionRequest& request) override;

private:
    TruthProvider m_provider;
    Noise m_noise;
};

} // namespace lorvantine
