#pragma once

#include "Platform/Geometry.h"
#include "Platform/Image.h"
#include "Support/ErrorValue.h"
#include "Support/Expected.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

enum class RecognitionLevel { fast, accurate };
enum class LanguageCorrection { off, on };

struct TextRecognitionRequest {
    RecognitionLevel recognitionLevel = RecognitionLevel::accurate;
    // Language codes in order of preference: "en", "zh-Hans", "zh-Hant". Empty means "en".
    std::vector<std::string> recognitionLanguages;
    LanguageCorrection usesLanguageCorrection = LanguageCorrection::on;
    // Pixels of the picture per point of the screen it shows (the backing scale it was captured
    // at): how large its text really is.
    double pixelsPerPoint = 1;
};

// The best reading of one recognised line. Boxes are normalised to the image (0...1) with the
// origin at its bottom left, y upward.
struct RecognizedText {
    // A stretch of `string` (UTF-8 byte offsets, end exclusive) and where it was seen: a word, or
    // one character of a script written without spaces.
    struct Segment {
        size_t begin = 0;
        size_t end = 0;
        Rect box;
        friend bool operator==(const Segment&, const Segment&) = default;
    };

    std::string string;
    double confidence = 0; // 0...1
    std::vector<Segment> segments;

    // The box of the bytes [begin, end) of `string`: the union of the segments they touch. None
    // for an empty range or one that touches no segment (white space between words).
    std::optional<Rect> boundingBox(size_t begin, size_t end) const;

    friend bool operator==(const RecognizedText&, const RecognizedText&) = default;
};

// One line of text found in the image.
struct TextObservation {
    Rect boundingBox; // normalised, bottom-left origin
    std::optional<RecognizedText> topCandidate;
    friend bool operator==(const TextObservation&, const TextObservation&) = default;
};

// Text recognition of a bitmap. Stateless as seen from the caller; any thread, and several
// threads at once. Blocks while it recognises.
class TextRecognitionPort {
public:
    virtual ~TextRecognitionPort() = default;

    // The lines in the engine's reading order (possibly none), or why recognition could not run
    // (an unsupported language, an engine that cannot start, an image it cannot take).
    virtual Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image,
                                                                       const TextRecognitionRequest& request) = 0;
};

} // namespace lorvantine
