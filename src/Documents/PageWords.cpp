#include "Documents/PageWords.h"

#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorvantine::PageWords {

namespace {

// The rule of a drop cap: the page's word is longer by one to three Characters and ends with the
// recognised one, compared without case.
bool cutShortFrom(const std::string& recognised, const std::string& pageWord)
{
    const size_t pageLength = Text::characterCount(pageWord);
    const size_t recognisedLength = Text::characterCount(recognised);
    if (recognisedLength >= pageLength || pageLength - recognisedLength > 3)
        return false;
    return Text::hasSuffix(Text::lowercased(pageWord), Text::lowercased(recognised));
}

} // namespace

std::optional<std::string> repairDropCap(std::vector<RecognizedWord>& words, const std::string& pageFirstWord)
{
    if (words.empty() || pageFirstWord.empty() || !cutShortFrom(words.front().text, pageFirstWord))
        return std::nullopt;
    return std::exchange(words.front().text, pageFirstWord);
}

std::vector<DropCapMend> repairDropCaps(std::vector<RecognizedWord>& words, const std::vector<std::string>& paragraphs)
{
    std::vector<DropCapMend> mends;
    for (size_t p = 0; p < paragraphs.size(); ++p) {
        const std::vector<std::string> pageWords = Text::splitOnWhitespace(paragraphs[p]);
        if (pageWords.empty())
            continue;
        const std::string& first = pageWords[0];
        if (p == 0)
            if (auto old = repairDropCap(words, first)) {
                mends.push_back({ *old, first });
                continue;
            }
        // A word cut short by its initial is known by the word that follows it on the page.
        if (pageWords.size() < 2)
            continue;
        const std::string second = Text::lowercased(pageWords[1]);
        for (size_t i = 0; i + 1 < words.size(); ++i) {
            if (Text::lowercased(words[i + 1].text) != second || !cutShortFrom(words[i].text, first))
                continue;
            mends.push_back({ std::exchange(words[i].text, first), first });
            break;
        }
    }
    return mends;
}

std::vector<std::string> paragraphsOf(const std::string& text)
{
    std::vector<std::string> paragraphs;
    std::string line;
    auto endLine = [&] {
        if (std::string trimmed = Text::trimmingWhitespacesAndNewlines(line); !trimmed.empty())
            paragraphs.push_back(std::move(trimmed));
        line.clear();
    };
    for (const std::string& character : Text::characters(text)) {
        if (Text::isNewlineCharacter(character))
            endLine();
        else
            line += character;
    }
    endLine();
    return paragraphs;
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
