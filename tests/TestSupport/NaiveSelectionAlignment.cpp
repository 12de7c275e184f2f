#include "TestSupport/NaiveSelectionAlignment.h"

#include "Documents/SelectionOCRBuilder.h"
#include "Support/Text.h"

#include <algorithm>
#include <limits>

namespace lorvantine {

namespace {

struct NaiveBack {
    int ck = 0;
    int ok = 0;
    double cropStart = 0.0;
    double cropEnd = 1.0;
};

std::string joinRange(const std::vector<std::string>& words, int from, int to)
{
    std::string joined;
    for (int i = from; i < to; ++i)
        joined += words[static_cast<size_t>(i)];
    return joined;
}

} // namespace

std::vector<OCRWordEntry> naiveAlignWordLevel(const std::vector<std::string>& clipWords, const std::vector<int>& clipOffsets,
                                              const std::vector<RecognizedWord>& ocrWords)
{
    using namespace SelectionOCRBuilder;
    const int n = static_cast<int>(clipWords.size());
    const int m = static_cast<int>(ocrWords.size());
    if (n == 0 || m == 0)
        return {};
    std::vector<std::string> k, q;
    for (const auto& w : clipWords)
        k.push_back(normalize(w));
    for (const auto& w : ocrWords)
        q.push_back(normalize(w.text));

    std::vector<std::vector<double>> s(static_cast<size_t>(n) + 1, std::vector<double>(static_cast<size_t>(m) + 1, 0.0));
    std::vector<std::vector<NaiveBack>> back(static_cast<size_t>(n) + 1, std::vector<NaiveBack>(static_cast<size_t>(m) + 1));
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= m; ++j) {
            if (i == 0 && j == 0)
                continue;
            double best = -std::numeric_limits<double>::infinity();
            NaiveBack choice;
            auto consider = [&](double score, NaiveBack c) {
                if (score > best) {
                    best = score;
                    choice = c;
                }
            };
            if (i >= 1 && j >= 1) {
                for (int ck = std::min(i, 3); ck >= 1; --ck) {
                    const std::string a = joinRange(k, i - ck, i);
                    if (a.empty())
                        continue;
                    for (int ok = std::min(j, 3); ok >= 1; --ok) {
                        const std::string g = joinRange(q, j - ok, j);
                        if (g.empty())
                            continue;
                        const double sim = similarity(a, g);
                        if (sim >= 0.65)
                            consider(sim + s[static_cast<size_t>(i - ck)][static_cast<size_t>(j - ok)], { ck, ok, 0.0, 1.0 });
                    }
                    const std::string& w = q[static_cast<size_t>(j - 1)];
                    const int aLength = static_cast<int>(Text::characterCount(a));
                    const int wLength = static_cast<int>(Text::characterCount(w));
                    if (!w.empty() && aLength >= 2 && aLength + 1 < wLength) {
                        if (auto found = fuzzySubstring(a, w)) {
                            const int length = found->end - found->start;
                            if (length >= 1) {
                                const double f = 1.0 - static_cast<double>(found->ed) / std::max(aLength, length);
                                if (f >= 0.65 && static_cast<double>(length) / wLength >= 0.25)
                                    consider(0.5 * f + 0.5 + s[static_cast<size_t>(i - ck)][static_cast<size_t>(j - 1)],
                                             { ck, 1, static_cast<double>(found->start) / wLength,
                                               static_cast<double>(found->end) / wLength });
                            }
                        }
                    }
                }
            }
            if (i >= 1)
                consider(s[static_cast<size_t>(i - 1)][static_cast<size_t>(j)], { 1, 0, 0.0, 1.0 });
            if (j >= 1)
                consider(s[static_cast<size_t>(i)][static_cast<size_t>(j - 1)], { 0, 1, 0.0, 1.0 });
            s[static_cast<size_t>(i)][static_cast<size_t>(j)] = best;
            back[static_cast<size_t>(i)][static_cast<size_t>(j)] = choice;
        }
    }

    std::vector<NaiveBack> matchBacks;
    std::vector<std::pair<int, int>> starts;
    int i = n, j = m;
    while (i > 0 || j > 0) {
        const NaiveBack b = back[static_cast<size_t>(i)][static_cast<size_t>(j)];
        if (b.ck == 1 && b.ok == 0) {
            --i;
        } else if (b.ck == 0 && b.ok == 1) {
            --j;
        } else {
            matchBacks.push_back(b);
            starts.push_back({ i - b.ck, j - b.ok });
            i -= b.ck;
            j -= b.ok;
        }
    }
    std::vector<OCRWordEntry> entries;
    for (size_t idx = matchBacks.size(); idx-- > 0;) {
        const NaiveBack& b = matchBacks[idx];
        const auto [clipStart, ocrStart] = starts[idx];
        Rect box = ocrWords[static_cast<size_t>(ocrStart)].screenRect;
        for (int o = ocrStart + 1; o < ocrStart + b.ok; ++o) {
            const Rect& r = ocrWords[static_cast<size_t>(o)].screenRect;
            const double x0 = std::min(box.minX(), r.minX()), y0 = std::min(box.minY(), r.minY());
            const double x1 = std::max(box.maxX(), r.maxX()), y1 = std::max(box.maxY(), r.maxY());
            box = Rect(x0, y0, x1 - x0, y1 - y0);
        }
        if (b.cropStart > 0 || b.cropEnd < 1)
            box = Rect(box.minX() + b.cropStart * box.width(), box.minY(), (b.cropEnd - b.cropStart) * box.width(), box.height());
        int sum = 0;
        for (int c = clipStart; c < clipStart + b.ck; ++c)
            sum += static_cast<int>(Text::characterCount(clipWords[static_cast<size_t>(c)]));
        const double total = std::max(sum, 1);
        double x = 0;
        for (int c = clipStart; c < clipStart + b.ck; ++c) {
            const int count = static_cast<int>(Text::characterCount(clipWords[static_cast<size_t>(c)]));
            const double width = count / total * box.width();
            const int offset = clipOffsets[static_cast<size_t>(c)];
            entries.push_back({ clipWords[static_cast<size_t>(c)], offset, offset + count, Rect(box.minX() + x, box.minY(), width, box.height()) });
            x += width;
        }
    }
    return entries;
}

} // namespace lorvantine
