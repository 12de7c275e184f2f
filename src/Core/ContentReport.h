#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lorvantine::ContentValidator {

// How much of a page's own text an extraction covers and how much of the extraction is noise.
// A plain value; the harness copies it into the report of the page it tested.
struct ContentReport {
    int64_t groundTruthChars = 0;
    int64_t extractedChars = 0;
    int64_t coveredChars = 0;
    int64_t noiseChars = 0;
    double coverage = 0;
    double noiseRatio = 0;
    int64_t extractedParagraphs = 0;
    int64_t groundTruthNodes = 0;
    std::vector<std::string> missingSamples;
    std::vector<std::string> noiseSamples;

    friend bool operator==(const ContentReport&, const ContentReport&) = default;
};

} // namespace lorvantine::ContentValidator
