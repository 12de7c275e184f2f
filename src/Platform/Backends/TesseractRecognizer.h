#pragma once

#include "Platform/TextRecognitionPort.h"

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// Text recognition with Tesseract 5 (LSTM models eng, chi_sim, chi_tra). One engine per set of
// languages, started on first use and kept; an engine reads one picture at a time, so callers
// on several threads with the same languages take turns, and different languages run in
// parallel. An engine that cannot start (missing models) answers the same error from then on.
// Lines come back in Tesseract's reading order with a box per word. Chinese comes back as the
// platform's recogniser writes it, without the spaces Tesseract puts between characters, and
// with a box per character placed on the picture's ink (Tesseract's own are unusable). The
// engine is told the picture's resolution from the request's pixels per point.
class TesseractRecognizer final : public TextRecognitionPort {
public:
    // The resolution Tesseract reads at. Finding the lines costs time with every pixel, so text
    // that stays readable at half the resolution (Latin text of ordinary size in a 2× capture,
    // see TextSizeProbe) is read from a picture halved in both directions; boxes are fitted to
    // the ink of the picture given and come back relative to it either way.
    enum class Resolution {
        chosenFromText,
        full,
        halved,
    };

    // `dataPath`: the folder holding the .traineddata files; empty uses the library's default
    // (or TESSDATA_PREFIX).
    explicit TesseractRecognizer(std::string dataPath = {}, Resolution resolution = Resolution::chosenFromText);
    ~TesseractRecognizer() override;

    // Both recognition levels read the same way.
    Expected<std::vector<TextObservation>, ErrorValue> recognize(const Image& image,
                                                               const TextRecognitionRequest& request) override;

    // "en" → "eng", "zh-Hans" → "chi_sim", "zh-Hant" → "chi_tra", joined with "+" in the given
    // order, repeats left out; an empty list reads as "en". Of the two Chinese models only the
    // first asked for is used: given both, Tesseract lets one take over from the other in the
    // middle of a text, and simplified text comes back in traditional characters (the simplified
    // model reads traditional text as simplified, which speaks the same). None when a code is not
    // one of the three.
    static std::optional<std::string> tesseractLanguages(const std::vector<std::string>& codes);

private:
    struct Engine;
    std::shared_ptr<Engine> engineFor(const std::string& languages, LanguageCorrection correction);

    std::string m_dataPath;
    Resolution m_resolution = Resolution::chosenFromText;
    std::mutex m_mutex; // guards m_engines only; each engine has its own lock
    std::map<std::string, std::shared_ptr<Engine>> m_engines;
};

} // namespace lorvantine
