#include "Documents/VisionOCR.h"
#include "FuzzCheck.h"
#include "Documents/OCRParagraphBuilder.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace lorvantine;

namespace {

// Recognition never places a word beyond any screen, nor at a number that is not finite.
constexpr double farthest = 1e7;
// What rounding may take off a frame made from its corners.
constexpr double slack = 1e-6;

// "x y width height rest": the rectangle and what follows the space after it, which must be
// UTF-8, as every recogniser's text is.
std::optional<std::pair<Rect, std::string>> readLine(const std::string& line)
{
    double values[4];
    const char* at = line.c_str();
    for (double& value : values) {
        char* end = nullptr;
        value = std::strtod(at, &end);
        if (end == at || !std::isfinite(value) || std::fabs(value) > farthest)
            return std::nullopt;
        at = end;
    }
    if (*at == ' ')
        ++at;
    if (!Text::isValidUtf8(at))
        return std::nullopt;
    return std::pair { Rect(values[0], values[1], values[2], values[3]), std::string(at) };
}

} // namespace

// Recognised words as lines of "x y width height text", after a first line giving the
// recognised rectangle and the shortest paragraph kept: every word is read once, in a paragraph
// whose text, spans and frame agree with its words.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Log::Capture quiet;
    const std::vector<std::string> lines = Text::components(std::string_view(reinterpret_cast<const char*>(data), size), "\n");
    auto header = readLine(lines[0]);
    if (!header)
        return 0;
    const Rect content = header->first;
    const int minLength = static_cast<int>(std::clamp(std::strtol(header->second.c_str(), nullptr, 10), -1000L, 1000L));
    std::vector<RecognizedWord> words;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (auto word = readLine(lines[i]))
            words.push_back({ word->second, word->first });
    }

    const auto paragraphs = OCRParagraphBuilder::buildParagraphs(words, content, minLength);
    size_t placed = 0;
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const ReadableParagraph& paragraph = paragraphs[p];
        fuzz::check(paragraph.index == static_cast<int>(p), "paragraphs are numbered in order");
        fuzz::check(paragraph.ocrWordBboxes && !paragraph.ocrWordBboxes->empty(), "a paragraph carries its words");
        const auto& entries = *paragraph.ocrWordBboxes;
        const int count = static_cast<int>(Text::characterCount(paragraph.text));
        fuzz::check(count >= minLength || OCRParagraphBuilder::holdsWords(paragraph.text),
                    "no paragraph is shorter than the minimum unless it holds words");
        std::vector<std::string> texts;
        int offset = 0;
        for (const OCRWordEntry& entry : entries) {
            texts.push_back(entry.text);
            const Rect& r = entry.screenRect;
            const Rect& frame = paragraph.frame;
            // The space before a word that starts with a combining mark is part of its first Character.
            fuzz::check((entry.charStart == offset || entry.charStart + 1 == offset) && entry.charStart <= entry.charEnd
                            && entry.charEnd <= count,
                        "word spans follow each other inside the text");
            fuzz::check(r.minX() >= frame.minX() - slack && r.maxX() <= frame.maxX() + slack && r.minY() >= frame.minY() - slack
                            && r.maxY() <= frame.maxY() + slack,
                        "the frame holds every word");
            offset = entry.charEnd + 1;
            fuzz::check(!VisionOCR::lookupRects(entries, entry.charStart, entry.charEnd).empty(), "every word span has a rectangle");
        }
        fuzz::check(Text::joined(texts, " ") == paragraph.text, "the text is the words joined by spaces");
        placed += entries.size();
    }
    fuzz::check(placed <= words.size() && (minLength > 0 || placed == words.size()), "every word is read once");
    return 0;
}
