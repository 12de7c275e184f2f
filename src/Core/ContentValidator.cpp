#include "Core/ContentValidator.h"

#include "Accessibility/AXReader.h"
#include "Support/Text.h"

#include <algorithm>
#include <unordered_set>

namespace lorvantine::ContentValidator {

namespace {

constexpr size_t kWindowSize = 20;
constexpr size_t kMaxSamples = 5;
constexpr size_t kMinSampleLength = 4;
constexpr size_t kSampleCut = 80;
constexpr int kWebAreaSearchDepth = 12;
constexpr int kTextCollectionDepth = 30;

// A text without whitespace or line breaks, with where each of its Characters begins (and the
// end): windows are views into it, so the sets cost one view per window, not a copy.
struct NormalizedText {
    std::string text;
    std::vector<size_t> bounds; // size: Characters + 1

    size_t length() const { return bounds.size() - 1; }
    std::string_view characters(size_t start, size_t count) const
    {
        return std::string_view(text).substr(bounds[start], bounds[start + count] - bounds[start]);
    }
};

NormalizedText normalize(std::string_view text)
{
    NormalizedText result;
    for (const std::string& character : Text::characters(text)) {
        if (!Text::isWhitespaceCharacter(character) && !Text::isNewlineCharacter(character))
            result.text += character;
    }
    // Removing a space can join a mark to the Character before it, so the boundaries are those
    // of the text that is left.
    size_t offset = 0;
    for (const std::string& character : Text::characters(result.text)) {
        result.bounds.push_back(offset);
        offset += character.size();
    }
    result.bounds.push_back(offset);
    return result;
}

using WindowSet = std::unordered_set<std::string_view>;

WindowSet slidingWindows(const NormalizedText& text)
{
    WindowSet windows;
    const size_t length = text.length();
    if (length == 0)
        return windows;
    if (length < kWindowSize) {
        windows.insert(text.text);
        return windows;
    }
    windows.reserve(length - kWindowSize + 1);
    for (size_t start = 0; start + kWindowSize <= length; ++start)
        windows.insert(text.characters(start, kWindowSize));
    return windows;
}

std::vector<std::string> findUncoveredSegments(const NormalizedText& source, const WindowSet& reference)
{
    const size_t length = source.length();
    if (length < kWindowSize)
        return {};
    std::vector<bool> covered(length, false);
    for (size_t start = 0; start + kWindowSize <= length; ++start) {
        if (reference.contains(source.characters(start, kWindowSize)))
            std::fill(covered.begin() + static_cast<ptrdiff_t>(start),
                      covered.begin() + static_cast<ptrdiff_t>(start + kWindowSize), true);
    }
    std::vector<std::pair<size_t, std::string>> samples; // length in Characters, text
    size_t position = 0;
    while (position < length) {
        if (covered[position]) {
            ++position;
            continue;
        }
        const size_t runStart = position;
        while (position < length && !covered[position])
            ++position;
        std::string candidate = Text::trimmingWhitespaces(source.characters(runStart, position - runStart));
        const size_t candidateLength = Text::characterCount(candidate);
        if (candidateLength >= kMinSampleLength) {
            const size_t kept = std::min(candidateLength, kSampleCut);
            samples.emplace_back(kept, Text::characterPrefix(candidate, kSampleCut));
        }
    }
    std::stable_sort(samples.begin(), samples.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<std::string> result;
    for (size_t i = 0; i < samples.size() && i < kMaxSamples; ++i)
        result.push_back(std::move(samples[i].second));
    return result;
}

std::string roleOf(const AXElement& element) { return AXReader::attribute(element, "AXRole").value_or(""); }

std::optional<AXElement> findWebArea(const AXElement& element, int depth)
{
    if (depth > kWebAreaSearchDepth)
        return std::nullopt;
    if (roleOf(element) == "AXWebArea")
        return element;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (auto found = findWebArea(child, depth + 1))
            return found;
    }
    return std::nullopt;
}

void collectAllText(const AXElement& element, std::vector<std::string>& pieces, int depth)
{
    if (depth > kTextCollectionDepth)
        return;
    const std::string role = roleOf(element);
    if (role == "AXStaticText") {
        auto value = AXReader::attribute(element, "AXValue");
        if (value && !value->empty())
            pieces.push_back(*value);
        return;
    }
    if (role == "AXHeading") {
        auto value = AXReader::attribute(element, "AXValue");
        if (!value)
            value = AXReader::attribute(element, "AXTitle");
        if (value && !value->empty())
            pieces.push_back(*value);
        return;
    }
    if (role == "AXScrollBar" || role == "AXImage")
        return;
    for (const AXElement& child : AXReader::rawChildren(element))
        collectAllText(child, pieces, depth + 1);
}

size_t sharedCount(const WindowSet& windows, const WindowSet& others)
{
    size_t count = 0;
    for (std::string_view window : windows)
        count += others.contains(window) ? 1 : 0;
    return count;
}

} // namespace

std::optional<std::pair<std::string, int64_t>> fetchGroundTruth(const AXElement& window)
{
    auto webArea = findWebArea(window, 0);
    if (!webArea)
        return std::nullopt;
    std::vector<std::string> pieces;
    collectAllText(*webArea, pieces, 0);
    if (pieces.empty())
        return std::nullopt;
    return std::make_pair(Text::joined(pieces, "\n"), static_cast<int64_t>(pieces.size()));
}

ContentReport validate(const std::vector<ArticleParagraph>& extracted, std::string_view groundTruth,
                       int64_t gtNodeCount)
{
    std::vector<std::string> texts;
    texts.reserve(extracted.size());
    for (const ArticleParagraph& paragraph : extracted)
        texts.push_back(paragraph.text);
    const NormalizedText g = normalize(groundTruth);
    const NormalizedText e = normalize(Text::joined(texts, "\n"));
    texts.clear();

    const WindowSet groundTruthWindows = slidingWindows(g);
    const WindowSet extractedWindows = slidingWindows(e);
    const size_t shared = sharedCount(extractedWindows, groundTruthWindows);

    ContentReport report;
    report.coverage = groundTruthWindows.empty()
        ? 1.0
        : static_cast<double>(shared) / static_cast<double>(groundTruthWindows.size());
    report.noiseRatio = extractedWindows.empty()
        ? 0.0
        : static_cast<double>(extractedWindows.size() - shared) / static_cast<double>(extractedWindows.size());
    report.missingSamples = findUncoveredSegments(g, extractedWindows);
    report.noiseSamples = findUncoveredSegments(e, groundTruthWindows);
    report.groundTruthChars = static_cast<int64_t>(g.length());
    report.extractedChars = static_cast<int64_t>(e.length());
    report.coveredChars = static_cast<int64_t>(report.coverage * static_cast<double>(g.length()));
    report.noiseChars = static_cast<int64_t>(report.noiseRatio * static_cast<double>(e.length()));
    report.extractedParagraphs = static_cast<int64_t>(extracted.size());
    report.groundTruthNodes = gtNodeCount;
    return report;
}

} // namespace lorvantine::ContentValidator
