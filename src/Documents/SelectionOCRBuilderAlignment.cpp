#include "Documents/SelectionOCRBuilder.h"

#include "Support/Text.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <unordered_map>

namespace lorvantine::SelectionOCRBuilder {

namespace {

constexpr double kMatchThreshold = 0.65;
constexpr int kMaxGroup = 3;

// Characters as small integers, so that distances compare numbers rather than strings.
using CharIds = std::vector<int>;

class CharacterInterner {
public:
    CharIds idsOf(std::string_view text)
    {
        CharIds ids;
        for (std::string& character : Text::characters(text)) {
            auto [it, inserted] = m_ids.try_emplace(std::move(character), static_cast<int>(m_ids.size()));
            ids.push_back(it->second);
        }
        return ids;
    }

private:
    std::unordered_map<std::string, int> m_ids;
};

struct Scratch {
    std::vector<int> previous;
    std::vector<int> current;
    std::vector<int> table;
};

// Levenshtein distance when it is at most `limit`, else limit + 1: only the band of cells within
// `limit` of the diagonal can stay under it, and a row whose every cell is over it ends the walk.
int boundedEditDistance(const int* a, int p, const int* b, int q, int limit, Scratch& scratch)
{
    const int over = limit + 1;
    if (std::abs(p - q) > limit)
        return over;
    if (p == 0 || q == 0)
        return std::max(p, q);
    auto& previous = scratch.previous;
    auto& current = scratch.current;
    previous.assign(static_cast<size_t>(q) + 1, over);
    current.assign(static_cast<size_t>(q) + 1, over);
    for (int c = 0; c <= std::min(q, limit); ++c)
        previous[static_cast<size_t>(c)] = c;
    for (int r = 1; r <= p; ++r) {
        const int lo = std::max(1, r - limit);
        const int hi = std::min(q, r + limit);
        current[static_cast<size_t>(lo - 1)] = lo == 1 && r <= limit ? r : over;
        int rowMinimum = current[static_cast<size_t>(lo - 1)];
        for (int c = lo; c <= hi; ++c) {
            const int cost = a[r - 1] == b[c - 1] ? 0 : 1;
            int value = previous[static_cast<size_t>(c - 1)] + cost;
            value = std::min(value, current[static_cast<size_t>(c - 1)] + 1);
            value = std::min(value, previous[static_cast<size_t>(c)] + 1);
            value = std::min(value, over);
            current[static_cast<size_t>(c)] = value;
            rowMinimum = std::min(rowMinimum, value);
        }
        if (hi < q)
            current[static_cast<size_t>(hi + 1)] = over;
        if (rowMinimum > limit)
            return over;
        std::swap(previous, current);
    }
    return std::min(previous[static_cast<size_t>(q)], over);
}

double similarityOfDistance(int distance, int p, int q)
{
    if (p == 0 && q == 0)
        return 1.0;
    if (p == 0 || q == 0)
        return 0.0;
    return 1.0 - static_cast<double>(distance) / static_cast<double>(std::max(p, q));
}

// The largest distance whose similarity at longer length `longer` still reaches the threshold.
int largestMatchingDistance(int longer)
{
    int distance = static_cast<int>((1.0 - kMatchThreshold) * longer) + 1;
    while (distance > 0 && similarityOfDistance(distance, longer, longer) < kMatchThreshold)
        --distance;
    return distance;
}

// The approximate occurrence search. With `giveUpAbove` a row whose every cell exceeds it ends
// the search with no answer (the caller knows no such occurrence could be used).
std::optional<FuzzyOccurrence> fuzzyOccurrence(const int* a, int p, const int* b, int q, std::optional<int> giveUpAbove,
                                               Scratch& scratch)
{
    if (p == 0 || q == 0 || p >= q)
        return std::nullopt;
    const size_t width = static_cast<size_t>(q) + 1;
    auto& d = scratch.table;
    d.assign((static_cast<size_t>(p) + 1) * width, 0);
    auto at = [&](int r, int k) -> int& { return d[static_cast<size_t>(r) * width + static_cast<size_t>(k)]; };
    for (int r = 1; r <= p; ++r) {
        at(r, 0) = r;
        int rowMinimum = r;
        for (int k = 1; k <= q; ++k) {
            const int cost = a[r - 1] == b[k - 1] ? 0 : 1;
            const int value = std::min({ at(r - 1, k - 1) + cost, at(r, k - 1) + 1, at(r - 1, k) + 1 });
            at(r, k) = value;
            rowMinimum = std::min(rowMinimum, value);
        }
        if (giveUpAbove && rowMinimum > *giveUpAbove)
            return std::nullopt;
    }
    int end = 0;
    int ed = at(p, 0);
    for (int k = 1; k <= q; ++k) {
        if (at(p, k) < ed) {
            ed = at(p, k);
            end = k;
        }
    }
    int r = p;
    int k = end;
    while (r > 0) {
        if (k == 0)
            break;
        const int cost = a[r - 1] == b[k - 1] ? 0 : 1;
        if (at(r, k) == at(r - 1, k - 1) + cost) {
            --r;
            --k;
        } else if (at(r, k) == at(r - 1, k) + 1) {
            --r;
        } else {
            --k;
        }
    }
    return FuzzyOccurrence { k, end, ed };
}

struct BackInfo {
    uint8_t ck = 0;
    uint8_t ok = 0;
    double cropStart = 0.0;
    double cropEnd = 1.0;
};

struct Match {
    int clipStart = 0;
    int clipLen = 0;
    int ocrStart = 0;
    int ocrLen = 0;
    double cropStart = 0.0;
    double cropEnd = 1.0;
};

// The joined normalised words ending at each index, for group sizes 1 to 3: groups[end * 4 + size].
std::vector<CharIds> joinedGroups(const std::vector<CharIds>& words)
{
    const size_t count = words.size();
    std::vector<CharIds> groups((count + 1) * (kMaxGroup + 1));
    for (size_t end = 1; end <= count; ++end) {
        for (size_t size = 1; size <= std::min<size_t>(end, kMaxGroup); ++size) {
            CharIds joined;
            for (size_t w = end - size; w < end; ++w)
                joined.insert(joined.end(), words[w].begin(), words[w].end());
            groups[end * (kMaxGroup + 1) + size] = std::move(joined);
        }
    }
    return groups;
}

Rect unionOfOCRWords(const std::vector<RecognizedWord>& words, int start, int length)
{
    const Rect& first = words[static_cast<size_t>(start)].screenRect;
    double x0 = first.minX(), y0 = first.minY(), x1 = first.maxX(), y1 = first.maxY();
    for (int i = start + 1; i < start + length; ++i) {
        const Rect& r = words[static_cast<size_t>(i)].screenRect;
        x0 = std::min(x0, r.minX());
        y0 = std::min(y0, r.minY());
        x1 = std::max(x1, r.maxX());
        y1 = std::max(y1, r.maxY());
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

// The score table, filled in the order and with the tie rules of the plain algorithm (a later
// candidate replaces the best only with a strictly greater score), but with work skipped where
// it cannot change the outcome: the skips are scored first, so a group whose similarity cannot
// reach the threshold by length, or whose best possible score stays below the best so far, is
// never measured, and distances are only followed while they can still match.
class Aligner {
public:
    Aligner(const std::vector<CharIds>& clip, const std::vector<CharIds>& ocr)
        : m_n(static_cast<int>(clip.size()))
        , m_m(static_cast<int>(ocr.size()))
        , m_ocr(ocr)
        , m_clipGroups(joinedGroups(clip))
        , m_ocrGroups(joinedGroups(ocr))
        , m_scores((static_cast<size_t>(m_n) + 1) * (static_cast<size_t>(m_m) + 1), 0.0)
        , m_back(m_scores.size())
    {
    }

    std::vector<Match> run()
    {
        for (int i = 0; i <= m_n; ++i)
            for (int j = 0; j <= m_m; ++j)
                if (i > 0 || j > 0)
                    fillCell(i, j);
        return backtrack();
    }

private:
    size_t index(int i, int j) const { return static_cast<size_t>(i) * (static_cast<size_t>(m_m) + 1) + static_cast<size_t>(j); }
    double score(int i, int j) const { return m_scores[index(i, j)]; }
    const CharIds& clipGroup(int end, int size) const { return m_clipGroups[static_cast<size_t>(end) * (kMaxGroup + 1) + static_cast<size_t>(size)]; }
    const CharIds& ocrGroup(int end, int size) const { return m_ocrGroups[static_cast<size_t>(end) * (kMaxGroup + 1) + static_cast<size_t>(size)]; }

    // Priorities give the plain algorithm's order of candidates: lower is considered earlier and
    // so wins a tie.
    struct Best {
        double score = -std::numeric_limits<double>::infinity();
        int priority = std::numeric_limits<int>::max();
        BackInfo choice;
        void consider(double candidate, int candidatePriority, const BackInfo& candidateChoice)
        {
            if (candidate > score || (candidate == score && candidatePriority < priority)) {
                score = candidate;
                priority = candidatePriority;
                choice = candidateChoice;
            }
        }
    };

    void fillCell(int i, int j)
    {
        Best best;
        constexpr int skipClipPriority = 100;
        constexpr int skipOCRPriority = 101;
        if (i >= 1)
            best.consider(score(i - 1, j), skipClipPriority, BackInfo { 1, 0, 0.0, 1.0 });
        if (j >= 1)
            best.consider(score(i, j - 1), skipOCRPriority, BackInfo { 0, 1, 0.0, 1.0 });
        if (i >= 1 && j >= 1) {
            for (int ck = std::min(i, kMaxGroup); ck >= 1; --ck)
                considerClipGroup(i, j, ck, best);
        }
        m_scores[index(i, j)] = best.score;
        m_back[index(i, j)] = best.choice;
    }

    void considerClipGroup(int i, int j, int ck, Best& best)
    {
        const CharIds& a = clipGroup(i, ck);
        if (a.empty())
            return;
        const int p = static_cast<int>(a.size());
        const int basePriority = (kMaxGroup - ck) * 10;
        for (int ok = std::min(j, kMaxGroup); ok >= 1; --ok) {
            const CharIds& g = ocrGroup(j, ok);
            if (g.empty())
                continue;
            const int q = static_cast<int>(g.size());
            const int longer = std::max(p, q);
            const double bound = similarityOfDistance(std::abs(p - q), p, q);
            const double before = score(i - ck, j - ok);
            if (bound < kMatchThreshold || bound + before < best.score)
                continue;
            const int distance = boundedEditDistance(a.data(), p, g.data(), q, largestMatchingDistance(longer), m_scratch);
            const double s = similarityOfDistance(distance, p, q);
            if (s >= kMatchThreshold)
                best.consider(s + before, basePriority + (kMaxGroup - ok), BackInfo { static_cast<uint8_t>(ck), static_cast<uint8_t>(ok), 0.0, 1.0 });
        }
        considerPartial(i, j, ck, a, best, basePriority + kMaxGroup);
    }

    void considerPartial(int i, int j, int ck, const CharIds& a, Best& best, int priority)
    {
        const CharIds& w = m_ocr[static_cast<size_t>(j - 1)];
        const int p = static_cast<int>(a.size());
        const int wLength = static_cast<int>(w.size());
        if (w.empty() || p < 2 || p + 1 >= wLength)
            return;
        const double before = score(i - ck, j - 1);
        if (0.5 * 1.0 + 0.5 + before < best.score)
            return;
        // An occurrence needing more than 0.6 × p edits is at most p + ed long, so its similarity
        // stays under 1 − 0.6 / 1.6 = 0.625: it can never match.
        const int giveUpAbove = (6 * p) / 10;
        auto found = fuzzyOccurrence(a.data(), p, w.data(), wLength, giveUpAbove, m_scratch);
        if (!found)
            return;
        const int length = found->end - found->start;
        if (length < 1)
            return;
        const double f = 1.0 - static_cast<double>(found->ed) / static_cast<double>(std::max(p, length));
        if (f < kMatchThreshold || static_cast<double>(length) / static_cast<double>(wLength) < 0.25)
            return;
        best.consider(0.5 * f + 0.5 + before, priority,
                      BackInfo { static_cast<uint8_t>(ck), 1, static_cast<double>(found->start) / wLength,
                                 static_cast<double>(found->end) / wLength });
    }

    std::vector<Match> backtrack() const
    {
        std::vector<Match> matches;
        int i = m_n;
        int j = m_m;
        while (i > 0 || j > 0) {
            const BackInfo& back = m_back[index(i, j)];
            if (back.ck == 1 && back.ok == 0) {
                --i;
            } else if (back.ck == 0 && back.ok == 1) {
                --j;
            } else if (back.ck == 0 && back.ok == 0) {
                break; // unreachable: every cell but the origin has a move
            } else {
                matches.push_back(Match { i - back.ck, back.ck, j - back.ok, back.ok, back.cropStart, back.cropEnd });
                i -= back.ck;
                j -= back.ok;
            }
        }
        std::reverse(matches.begin(), matches.end());
        return matches;
    }

    int m_n;
    int m_m;
    const std::vector<CharIds>& m_ocr;
    std::vector<CharIds> m_clipGroups;
    std::vector<CharIds> m_ocrGroups;
    std::vector<double> m_scores;
    std::vector<BackInfo> m_back;
    Scratch m_scratch;
};

} // namespace

std::string normalize(std::string_view text)
{
    std::u16string utf16 = Text::toUtf16(text);
    if (utf16.empty())
        return {};
    std::u16string lowered(utf16.size() + 16, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = u_strToLower(lowered.data(), static_cast<int32_t>(lowered.size()), utf16.data(),
                                  static_cast<int32_t>(utf16.size()), "", &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
        lowered.assign(static_cast<size_t>(length), u'\0');
        status = U_ZERO_ERROR;
        length = u_strToLower(lowered.data(), length, utf16.data(), static_cast<int32_t>(utf16.size()), "", &status);
    }
    if (U_FAILURE(status))
        lowered = utf16;
    else
        lowered.resize(static_cast<size_t>(length));
    std::u32string kept;
    for (char32_t scalar : Text::scalars(Text::fromUtf16(lowered))) {
        const uint32_t mask = U_GET_GC_MASK(static_cast<UChar32>(scalar));
        if (mask & (U_GC_L_MASK | U_GC_M_MASK | U_GC_ND_MASK))
            kept.push_back(scalar);
    }
    return Text::fromScalars(kept);
}

int editDistance(std::string_view a, std::string_view b)
{
    CharacterInterner interner;
    const CharIds x = interner.idsOf(a);
    const CharIds y = interner.idsOf(b);
    Scratch scratch;
    const int p = static_cast<int>(x.size());
    const int q = static_cast<int>(y.size());
    return boundedEditDistance(x.data(), p, y.data(), q, std::max(p, q), scratch);
}

double similarity(std::string_view a, std::string_view b)
{
    if (a == b)
        return 1.0;
    const int p = static_cast<int>(Text::characterCount(a));
    const int q = static_cast<int>(Text::characterCount(b));
    return similarityOfDistance(editDistance(a, b), p, q);
}

std::optional<FuzzyOccurrence> fuzzySubstring(std::string_view needle, std::string_view haystack)
{
    CharacterInterner interner;
    const CharIds a = interner.idsOf(needle);
    const CharIds b = interner.idsOf(haystack);
    Scratch scratch;
    return fuzzyOccurrence(a.data(), static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()), std::nullopt, scratch);
}

std::vector<OCRWordEntry> alignWordLevel(const std::vector<std::string>& clipWords, const std::vector<int>& clipOffsets,
                                         const std::vector<RecognizedWord>& ocrWords)
{
    const size_t n = clipWords.size();
    const size_t m = ocrWords.size();
    if (n == 0 || m == 0)
        return {};
    if (n * m > maxAlignmentCells)
        return {};

    CharacterInterner interner;
    std::vector<CharIds> clip;
    clip.reserve(n);
    for (const std::string& word : clipWords)
        clip.push_back(interner.idsOf(normalize(word)));
    std::vector<CharIds> ocr;
    ocr.reserve(m);
    for (const RecognizedWord& word : ocrWords)
        ocr.push_back(interner.idsOf(normalize(word.text)));

    const std::vector<Match> matches = Aligner(clip, ocr).run();

    std::vector<OCRWordEntry> entries;
    for (const Match& match : matches) {
        Rect box = unionOfOCRWords(ocrWords, match.ocrStart, match.ocrLen);
        if (match.cropStart > 0 || match.cropEnd < 1)
            box = Rect(box.minX() + match.cropStart * box.width(), box.minY(), (match.cropEnd - match.cropStart) * box.width(),
                       box.height());
        std::vector<int> counts;
        int sum = 0;
        for (int w = match.clipStart; w < match.clipStart + match.clipLen; ++w) {
            counts.push_back(static_cast<int>(Text::characterCount(clipWords[static_cast<size_t>(w)])));
            sum += counts.back();
        }
        const double total = std::max(sum, 1);
        double x = 0;
        for (int k = 0; k < match.clipLen; ++k) {
            const size_t w = static_cast<size_t>(match.clipStart + k);
            const double width = counts[static_cast<size_t>(k)] / total * box.width();
            const int offset = w < clipOffsets.size() ? clipOffsets[w] : 0;
            entries.push_back(OCRWordEntry { clipWords[w], offset, offset + counts[static_cast<size_t>(k)],
                                             Rect(box.minX() + x, box.minY(), width, box.height()) });
            x += width;
        }
    }
    return entries;
}

} // namespace lorvantine::SelectionOCRBuilder
