#include "CLI/CLIRouter.h"

#include "Documents/ParagraphWords.h"
#include "Support/Text.h"

#include <algorithm>
#include <numeric>

namespace lorvantine::CLIRouter {

namespace {

// Less than this must repeat exactly what was read last, unless it is all that was read or all
// the new screen shows: a short run that happens to match is no sign of a repeat.
constexpr size_t minimumOverlap = 12;
// Recognition reads a paragraph again a little differently: a long one may differ in one Character
// of ten and still be the same text. Shorter ones (a heading, a number) must match exactly.
constexpr size_t fuzzyMinimum = 30;
constexpr size_t fuzzyShare = 10;
// How much of the end of what was read is compared: more than a screen.
constexpr size_t lookBack = 3000;

// The Characters of `text` without white space: recognition splits and joins words differently
// from one screen to the next.
std::vector<std::string> inkOf(const std::string& text)
{
    std::vector<std::string> out;
    for (std::string& character : Text::characters(text))
        if (!Text::isWhitespaceCharacter(character))
            out.push_back(std::move(character));
    return out;
}

std::string joinedInk(std::vector<std::string>::const_iterator begin, std::vector<std::string>::const_iterator end)
{
    return std::accumulate(begin, end, std::string());
}

// Whether `now` is `before` read again: the same Characters, or, for a long text, one in ten read
// differently.
bool readAgain(const std::vector<std::string>& now, const std::vector<std::string>& before)
{
    if (now == before)
        return true;
    if (now.size() < fuzzyMinimum || before.size() < fuzzyMinimum)
        return false;
    const std::string a = joinedInk(now.begin(), now.end());
    const std::string b = joinedInk(before.begin(), before.end());
    return static_cast<size_t>(levenshteinDistance(a, b)) * fuzzyShare <= now.size();
}

// How many Characters (white space left out) at the start of `newParas` repeat the end of `lastTexts`.
size_t repeatedInk(const std::vector<ArticleParagraph>& newParas, const std::vector<std::string>& lastTexts)
{
    std::vector<std::vector<std::string>> lastInk;
    std::vector<std::string> last;
    for (const std::string& text : lastTexts) {
        lastInk.push_back(inkOf(text));
        last.insert(last.end(), lastInk.back().begin(), lastInk.back().end());
    }
    if (last.size() > lookBack)
        last.erase(last.begin(), last.end() - static_cast<std::ptrdiff_t>(lookBack));
    std::vector<std::vector<std::string>> freshInk;
    std::vector<std::string> fresh;
    for (const ArticleParagraph& paragraph : newParas) {
        freshInk.push_back(inkOf(paragraph.text));
        fresh.insert(fresh.end(), freshInk.back().begin(), freshInk.back().end());
    }
    if (last.empty() || fresh.empty())
        return 0;

    size_t best = 0;
    const size_t floor = std::min({ minimumOverlap, last.size(), fresh.size() });
    for (size_t m = std::min(last.size(), fresh.size()); m >= floor && m > 0; --m) {
        if (std::equal(last.end() - static_cast<std::ptrdiff_t>(m), last.end(), fresh.begin())) {
            best = m;
            break;
        }
    }
    // The last paragraphs read, read again one for one with a misread Character or two; the first
    // of them may show only its end (the screen opens in its middle).
    for (size_t k = std::min(freshInk.size(), lastInk.size()); k > 0; --k) {
        size_t ink = 0;
        bool again = true;
        for (size_t j = 0; j < k && again; ++j) {
            const std::vector<std::string>& now = freshInk[j];
            std::vector<std::string> before = lastInk[lastInk.size() - k + j];
            if (j == 0 && now.size() < before.size())
                before.erase(before.begin(), before.end() - static_cast<std::ptrdiff_t>(now.size()));
            again = !now.empty() && readAgain(now, before);
            ink += now.size();
        }
        if (again) {
            best = std::max(best, ink);
            break;
        }
    }
    return best;
}

} // namespace

int levenshteinDistance(const std::string& a, const std::string& b)
{
    const std::vector<std::string> x = Text::characters(a);
    const std::vector<std::string> y = Text::characters(b);
    if (x.empty())
        return static_cast<int>(y.size());
    if (y.empty())
        return static_cast<int>(x.size());
    std::vector<int> row(y.size() + 1);
    std::iota(row.begin(), row.end(), 0);
    for (size_t i = 1; i <= x.size(); ++i) {
        int diagonal = row[0];
        row[0] = static_cast<int>(i);
        for (size_t j = 1; j <= y.size(); ++j) {
            const int above = row[j];
            row[j] = std::min({ row[j] + 1, row[j - 1] + 1, diagonal + (x[i - 1] == y[j - 1] ? 0 : 1) });
            diagonal = above;
        }
    }
    return row[y.size()];
}

RepeatedLead dropRepeatedLead(std::vector<ArticleParagraph> newParas, const std::vector<std::string>& lastTexts)
{
    size_t repeated = repeatedInk(newParas, lastTexts);
    RepeatedLead lead;
    for (ArticleParagraph& paragraph : newParas) {
        if (repeated == 0) {
            lead.rest.push_back(std::move(paragraph));
            continue;
        }
        const size_t ink = inkOf(paragraph.text).size();
        if (repeated >= ink) {
            repeated -= ink;
            ++lead.wholeDropped;
            continue;
        }
        // The paragraph was read in part: what follows the last word read is new. A word that
        // was read in part was heard, and goes with the part read.
        std::vector<OCRWordEntry> words = ParagraphWords::words(paragraph);
        size_t first = 0;
        for (size_t seen = 0; first < words.size() && seen < repeated; ++first)
            seen += inkOf(words[first].text).size();
        repeated = 0;
        if (first < words.size())
            lead.rest.push_back(ParagraphWords::rebuilt(paragraph, std::vector<OCRWordEntry>(words.begin() + static_cast<std::ptrdiff_t>(first), words.end())));
    }
    return lead;
}

std::vector<ArticleParagraph> withoutRepeatedLead(std::vector<ArticleParagraph> newParas, const std::vector<std::string>& lastTexts)
{
    return dropRepeatedLead(std::move(newParas), lastTexts).rest;
}

int countOverlappingParagraphs(const std::vector<ArticleParagraph>& newParas, const std::vector<std::string>& lastTexts)
{
    return dropRepeatedLead(newParas, lastTexts).wholeDropped;
}

} // namespace lorvantine::CLIRouter
