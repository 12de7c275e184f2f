#include "Documents/PageWords.h"

#include "Support/EnglishWords.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <set>
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

// A capital letter on its own, taller than two of the page's lines: an initial drawn large.
bool isLargeInitial(const RecognizedWord& word, double lineHeight)
{
    const std::u32string scalars = Text::scalars(word.text);
    return scalars.size() == 1 && u_isupper(static_cast<UChar32>(scalars[0])) && word.screenRect.height() >= dropCapHeightInLines * lineHeight;
}

// A word whose top is level with the top of a large initial, just right of it: the first word of
// the paragraph's first line, which the initial begins or, when the initial is a word itself,
// follows. Recognition may put the initial anywhere in its order (a line engine takes it for a
// line of its own, level with the middle of those beside it), so it is found where it stands.
bool standsBesideTopOf(const Rect& cap, const Rect& word, double lineHeight)
{
    return word.minX() >= cap.midX() && word.minX() - cap.maxX() < cap.height() / 2
        && std::fabs(word.minY() - cap.minY()) < lineHeight / 2;
}

// A word just right of a large initial, on a line below its top: the paragraph's second line or
// third, which come after the line the initial begins.
bool standsBesideLowerPartOf(const Rect& cap, const Rect& word, double lineHeight)
{
    return word.minX() >= cap.midX() && word.minX() - cap.maxX() < cap.height() / 2 && word.minY() - cap.minY() >= lineHeight / 2
        && word.midY() < cap.maxY();
}

// Whether `next` goes on the line of `word`, to its right.
bool goesOnLineOf(const Rect& word, const Rect& next)
{
    return next.minX() > word.minX() && std::fabs(next.midY() - word.midY()) < 0.6 * std::fmax(word.height(), next.height());
}

// The word standing beside the top of `cap` that begins with a letter (in lower case, or in the
// small capitals that often follow an initial), the leftmost of them; none when there is none.
std::optional<size_t> wordBesideTopOf(const std::vector<RecognizedWord>& words, size_t cap, double lineHeight)
{
    std::optional<size_t> found;
    for (size_t i = 0; i < words.size(); ++i) {
        const std::u32string scalars = Text::scalars(words[i].text);
        if (i == cap || scalars.empty() || !u_isalpha(static_cast<UChar32>(scalars[0]))
            || !standsBesideTopOf(words[cap].screenRect, words[i].screenRect, lineHeight))
            continue;
        if (!found || words[i].screenRect.minX() < words[*found].screenRect.minX())
            found = i;
    }
    return found;
}

// Whether most of the page's words are words of the English list: on a page in another language
// every word would look like a piece of one.
bool readsAsEnglish(const std::vector<RecognizedWord>& words, const EnglishWords& english)
{
    size_t lettered = 0, known = 0;
    for (const RecognizedWord& word : words) {
        const std::u32string scalars = Text::scalars(word.text);
        if (std::none_of(scalars.begin(), scalars.end(), [](char32_t c) { return u_isalpha(static_cast<UChar32>(c)); }))
            continue;
        ++lettered;
        known += english.isWord(word.text);
    }
    return lettered > 0 && 2 * known >= lettered;
}

// Whether a large capital `letter` is a word of its own before `next`, rather than the initial of
// the word `next` ends. Only A, I and O are words by themselves, and before a piece of a word
// ("n", "nna", "ld") they begin it; telling a piece from a word ("on") takes the word list, which
// judges only a page of English (`english`, worked out on first need): elsewhere they stay words.
bool standsApart(const std::string& letter, const std::string& next, const std::vector<RecognizedWord>& page,
                 std::optional<bool>& english)
{
    if (letter != "A" && letter != "I" && letter != "O")
        return false;
    const EnglishWords& list = EnglishWords::standard();
    if (!english)
        english = readsAsEnglish(page, list);
    return !*english || list.isWord(next);
}

// Large initials that recognition read as words of their own, told by their size alone (a scan
// has no text to tell them by): each goes into the word beside its top, or, when it is a word
// itself, before that word, wherever recognition put it.
std::vector<DropCapMend> repairLargeInitials(std::vector<RecognizedWord>& words)
{
    const double lineHeight = medianHeight(words);
    std::optional<bool> english;
    struct Placement {
        size_t initial;
        bool takenIn; // into the word; otherwise a word of its own before it
    };
    std::map<size_t, Placement> placements; // by the word beside the initial's top
    std::set<size_t> placed;
    for (size_t i = 0; i < words.size(); ++i) {
        if (!isLargeInitial(words[i], lineHeight) || placements.count(i))
            continue;
        const auto beside = wordBesideTopOf(words, i, lineHeight);
        if (!beside || placements.count(*beside) || placed.count(*beside))
            continue;
        placements[*beside] = { i, !standsApart(words[i].text, words[*beside].text, words, english) };
        placed.insert(i);
    }
    std::vector<DropCapMend> mends;
    if (placements.empty())
        return mends;
    // The line an initial begins is the paragraph's first: an engine that takes it for a block of
    // its own, the initial making it tall, may give it after the lines beside the initial's foot.
    std::vector<size_t> order(words.size());
    std::iota(order.begin(), order.end(), size_t { 0 });
    for (const auto& [beside, placement] : placements) {
        size_t end = beside + 1;
        while (end < words.size() && goesOnLineOf(words[end - 1].screenRect, words[end].screenRect))
            ++end;
        const Rect& cap = words[placement.initial].screenRect;
        const auto first = std::find(order.begin(), order.end(), beside);
        const auto below = std::find_if(order.begin(), first, [&](size_t i) {
            return standsBesideLowerPartOf(cap, words[i].screenRect, lineHeight);
        });
        if (below != first)
            std::rotate(below, first, first + std::min<long>(static_cast<long>(end - beside), order.end() - first));
    }
    std::vector<RecognizedWord> ordered;
    for (size_t i : order) {
        if (placed.count(i))
            continue;
        const auto placement = placements.find(i);
        if (placement == placements.end()) {
            ordered.push_back(words[i]);
            continue;
        }
        const RecognizedWord& initial = words[placement->second.initial];
        if (!placement->second.takenIn) {
            ordered.push_back(initial);
            ordered.push_back(words[i]);
            continue;
        }
        mends.push_back({ words[i].text, initial.text + words[i].text });
        ordered.push_back({ mends.back().mended, initial.screenRect.united(words[i].screenRect) });
    }
    words = std::move(ordered);
    return mends;
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
    // Initials read apart go in first: a word they complete is then whole for the page's text too.
    std::vector<DropCapMend> mends = repairLargeInitials(words);
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
    return mends;
}

std::vector<DropCapMend> repairPicturedInitials(std::vector<RecognizedWord>& words, const std::vector<PicturedInitial>& initials)
{
    std::vector<DropCapMend> mends;
    std::optional<bool> english;
    const double lineHeight = medianHeight(words);
    for (const PicturedInitial& initial : initials) {
        const std::vector<std::string> following = Text::splitOnWhitespace(initial.text);
        if (initial.letter.empty() || following.empty())
            continue;
        const std::string letter = Text::lowercased(initial.letter);
        const std::string first = Text::lowercased(following[0]);
        // Set apart by a space the letter is a word; without one, a text that begins with it holds
        // the word whole.
        const bool spaced = Text::isWhitespaceCharacter(Text::characterPrefix(initial.text, 1));
        if (!spaced && Text::hasPrefix(first, letter))
            continue;
        const auto beside = std::find_if(words.begin(), words.end(), [&](const RecognizedWord& word) {
            return Text::lowercased(word.text) == first && standsBesideTopOf(initial.frame, word.screenRect, lineHeight);
        });
        if (beside == words.end())
            continue;
        const bool letterIsWord = spaced || standsApart(initial.letter, beside->text, words, english);
        const auto read = std::find_if(words.begin(), words.end(), [&](const RecognizedWord& word) {
            return initial.frame.contains(Point { word.screenRect.midX(), word.screenRect.midY() });
        });
        if (read != words.end()) {
            // Recognition read the picture: as the letter, just before the word it begins, it goes
            // into that word; as anything else it is left as read.
            if (letterIsWord || read + 1 != beside || Text::lowercased(read->text) != letter)
                continue;
            mends.push_back({ beside->text, read->text + beside->text });
            beside->text = mends.back().mended;
            beside->screenRect = read->screenRect.united(beside->screenRect);
            words.erase(read);
        } else if (letterIsWord) {
            mends.push_back({ "", initial.letter });
            words.insert(beside, RecognizedWord { initial.letter, initial.frame });
        } else {
            mends.push_back({ beside->text, initial.letter + beside->text });
            beside->text = mends.back().mended;
            beside->screenRect = initial.frame.united(beside->screenRect);
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

size_t wordCount(const std::vector<RecognizedWord>& words)
{
    size_t count = 0;
    for (const RecognizedWord& word : words) {
        size_t ideographs = 0;
        for (char32_t scalar : Text::scalars(word.text))
            ideographs += u_hasBinaryProperty(static_cast<UChar32>(scalar), UCHAR_IDEOGRAPHIC) ? 1 : 0;
        count += std::max<size_t>(ideographs, 1);
    }
    return count;
}

double medianHeight(const std::vector<RecognizedWord>& words)
{
    std::vector<double> heights;
    for (const RecognizedWord& word : words) {
        if (std::isfinite(word.screenRect.height()))
            heights.push_back(word.screenRect.height());
    }
    if (heights.empty())
        return 0;
    std::nth_element(heights.begin(), heights.begin() + static_cast<long>(heights.size() / 2), heights.end());
    return heights[heights.size() / 2];
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
