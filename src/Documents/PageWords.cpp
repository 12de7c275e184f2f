#include "Documents/PageWords.h"

#include "Support/Text.h"

#include <algorithm>
#include <cmath>

namespace lorvantine::PageWords {

std::string firstWord(const std::string& text)
{
    std::string word;
    for (const std::string& character : Text::characters(text)) {
        if (Text::isWhitespaceCharacter(character))
            break;
        word += character;
    }
    return word;
}

std::optional<std::string> repairDropCap(std::vector<RecognizedWord>& words, const std::string& pageFirstWord)
{
    if (words.empty() || pageFirstWord.empty())
        return std::nullopt;
    RecognizedWord& first = words.front();
    const size_t pageLength = Text::characterCount(pageFirstWord);
    const size_t recognisedLength = Text::characterCount(first.text);
    if (recognisedLength >= pageLength || pageLength - recognisedLength > 3)
        return std::nullopt;
    if (!Text::hasSuffix(Text::lowercased(pageFirstWord), Text::lowercased(first.text)))
        return std::nullopt;
    std::string old = first.text;
    first.text = pageFirstWord;
    return old;
}

Joined join(const std::vector<RecognizedWord>& words)
{
    Joined joined;
    int start = 0;
    for (const RecognizedWord& word : words) {
        if (!joined.text.empty()) {
            joined.text += ' ';
            ++start;
        }
        joined.text += word.text;
        const int end = start + static_cast<int>(Text::characterCount(word.text));
        joined.entries.push_back(OCRWordEntry { word.text, start, end, word.screenRect });
        start = end;
    }
    return joined;
}

std::vector<std::vector<RecognizedWord>> linesTopToBottom(std::vector<RecognizedWord> words)
{
    std::stable_sort(words.begin(), words.end(),
                     [](const RecognizedWord& a, const RecognizedWord& b) { return a.screenRect.midY() < b.screenRect.midY(); });
    std::vector<std::vector<RecognizedWord>> lines;
    for (const RecognizedWord& word : words) {
        if (!lines.empty()) {
            const Rect& last = lines.back().back().screenRect;
            if (std::fabs(word.screenRect.midY() - last.midY()) < 0.6 * std::fmax(last.height(), word.screenRect.height())) {
                lines.back().push_back(word);
                continue;
            }
        }
        lines.push_back({ word });
    }
    for (std::vector<RecognizedWord>& line : lines)
        std::stable_sort(line.begin(), line.end(),
                         [](const RecognizedWord& a, const RecognizedWord& b) { return a.screenRect.minX() < b.screenRect.minX(); });
    return lines;
}

Rect unionOf(const std::vector<RecognizedWord>& words)
{
    std::optional<Rect> frame;
    for (const RecognizedWord& word : words)
        frame = frame ? frame->united(word.screenRect) : word.screenRect;
    return frame.value_or(Rect());
}

std::string truncated(double value)
{
    if (!std::isfinite(value))
        return "0";
    return std::to_string(static_cast<long long>(std::trunc(value)));
}

} // namespace lorvantine::PageWords
