#include "Documents/PageWords.h"

#include "Support/Text.h"

#include <unicode/uchar.h>

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

// A drop cap is at least two lines tall; a capital in running text is no taller than its line.
constexpr double dropCapHeightInLines = 1.8;

// A large initial that recognition did read, as a word of its own: the first letter of `mended`,
// taken into it. Answers whether `initial` was such a letter.
bool takeInInitial(const RecognizedWord& initial, RecognizedWord& mended, const std::string& pageWord, const std::string& cutFrom)
{
    const std::string missing = Text::characterPrefix(pageWord, Text::characterCount(pageWord) - Text::characterCount(cutFrom));
    if (missing.empty() || Text::lowercased(initial.text) != Text::lowercased(missing))
        return false;
    mended.screenRect = initial.screenRect.united(mended.screenRect);
    return true;
}

// A capital letter on its own, taller than two lines, with a word at the top of its right side
// (in lower case, or in the small capitals that often follow an initial): the first word of a
// paragraph whose initial is drawn large, as a scan shows it. A, I and O are words by themselves
// and are left as read ("A long time ago").
bool isDropCapOf(const RecognizedWord& letter, const RecognizedWord& next)
{
    const std::u32string scalars = Text::scalars(letter.text);
    const std::u32string following = Text::scalars(next.text);
    if (scalars.size() != 1 || following.empty() || !u_isupper(static_cast<UChar32>(scalars[0]))
        || !u_isalpha(static_cast<UChar32>(following[0])) || std::u32string_view(U"AIO").find(scalars[0]) != std::u32string_view::npos)
        return false;
    const Rect& cap = letter.screenRect;
    const Rect& word = next.screenRect;
    return cap.height() >= dropCapHeightInLines * word.height() && word.minX() >= cap.midX() && word.minX() - cap.maxX() < cap.width()
        && word.midY() > cap.minY() && word.midY() < cap.midY();
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
            mends.push_back({ words[i].text, first });
            // Drawn large, the initial may have been read as well, on its own, just before.
            if (i > 0 && takeInInitial(words[i - 1], words[i], first, words[i].text))
                words.erase(words.begin() + static_cast<long>(--i));
            words[i].text = first;
            break;
        }
    }
    // Without the page's text (a scan) the initial is told by its size alone.
    for (size_t i = 0; i + 1 < words.size(); ++i) {
        if (!isDropCapOf(words[i], words[i + 1]))
            continue;
        mends.push_back({ words[i + 1].text, words[i].text + words[i + 1].text });
        words[i + 1].text = mends.back().mended;
        words[i + 1].screenRect = words[i].screenRect.united(words[i + 1].screenRect);
        words.erase(words.begin() + static_cast<long>(i));
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
