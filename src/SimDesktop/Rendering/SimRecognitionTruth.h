#pragma once

#include "Platform/Backends/DesktopTruthRecognizer.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace lorvantine {

// What the desktop knows it drew: the lines of text of its recent pictures, by the digest of
// each picture, so that the desktop-truth recogniser can answer for any crop of one of them
// (an image that `Image::loadPNG` read from a capture, then `Image::cropped`). Any thread.
class SimRecognitionTruth {
public:
    using Lines = std::vector<DesktopTruthRecognizer::Line>;

    // `lines` in pixels of the picture whose `Image::digest()` is `digest`, top-left origin. The
    // oldest pictures are forgotten once `capacity` are kept.
    void remember(uint64_t digest, Lines lines);
    // The lines of the picture `image` was cut from, in `image`'s own pixels; none for a picture
    // this desktop did not draw (or has forgotten).
    std::optional<Lines> linesFor(const Image& image) const;

    void setNoise(const DesktopTruthRecognizer::Noise& noise);
    DesktopTruthRecognizer::Noise noise() const;

    // The recogniser chosen by LORVANTINE_RECOGNIZER: "tesseract" reads the pixels with
    // Tesseract; unset, empty or "desktop-truth" answers from `truth`. Any other value is logged
    // and answered from `truth`.
    static std::shared_ptr<TextRecognitionPort> makeRecognizer(const std::shared_ptr<SimRecognitionTruth>& truth);
    // Whether LORVANTINE_RECOGNIZER chooses the recogniser that reads pixels ("tesseract")
    // rather than one that answers from what a desktop drew.
    static bool readsPixels();

    static constexpr size_t capacity = 64;

private:
    struct Picture {
        uint64_t digest = 0;
        Lines lines;
    };
    mutable std::mutex m_mutex;
    std::deque<Picture> m_pictures; // newest last
    DesktopTruthRecognizer::Noise m_noise;
};

} // namespace lorvantine
