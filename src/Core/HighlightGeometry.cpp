#include "Core/HighlightGeometry.h"

#include "Accessibility/AXReader.h"
#include "Core/CharacterMatching.h"
#include "Support/Text.h"

#include <algorithm>
#include <cmath>
#include <climits>
#include <optional>

namespace lorvantine::HighlightGeometry {

namespace {

constexpr int staticTextMaxDepth = 20;

struct Jump {
    long long lo = 0;
    long long hi = 0;
    double y = 0;
};

// The probe of one character; none when it fails.
std::optional<Rect> probe(const AXElement& element, long long offset)
{
    if (offset < 0 || offset > INT_MAX)
        return std::nullopt;
    return AXReader::boundsForRange(element, static_cast<int>(offset), 1);
}

// Touching counts: a caret-thin rectangle on the paragraph's edge still belongs to it.
bool meets(const Rect& a, const Rect& b)
{
    return a.minX() <= b.maxX() && b.minX() <= a.maxX() && a.minY() <= b.maxY() && b.minY() <= a.maxY();
}

// The Characters of a short range of the element's text; its UTF-16 length when the text
// cannot be read.
int charactersIn(const AXElement& element, int location, int length)
{
    const auto text = AXReader::stringForRange(element, location, length);
    return text && !text->empty() ? static_cast<int>(Text::characterCount(*text)) : length;
}

std::vector<Rect> clampRects(const std::vector<Rect>& rects, const Rect& to)
{
    std::vector<Rect> clamped;
    for (const Rect& r : rects) {
        const double x = std::max(r.minX(), to.minX());
        const double y = std::max(r.minY(), to.minY());
        const double w = std::min(r.maxX(), to.maxX()) - x;
        const double h = std::min(r.maxY(), to.maxY()) - y;
        if (w > 0 && h > 0)
            clamped.emplace_back(x, y, w, h);
    }
    return clamped;
}

} // namespace

std::vector<Rect> computeLineRects(const AXElement& element, int location, int length, const Rect& paraRect,
                                   LastInParagraph isLastInParagraph, std::optional<int> characters)
{
    if (length < 1)
        return {};
    const auto first = probe(element, location);
    if (!first)
        return {};
    if (!meets(*first, paraRect.insetBy(-20, -20)))
        return { paraRect };

    const double charW = first->width();
    const double h = first->height();
    const double lineTol = std::max(0.5 * h, 8.0);

    if (length <= 3) {
        // An emoji is two units and one glyph: a width per unit would cover the next word too.
        if (!characters)
            characters = length == 1 ? 1 : charactersIn(element, location, length);
        return clampRects({ Rect(first->minX(), first->minY(), charW * *characters, h) }, paraRect);
    }

    const long long base = location;
    const long long count = length;
    const auto last = probe(element, base + count - 1);
    if (last && std::fabs(last->minY() - first->minY()) < lineTol) {
        const double w = last->width() > 0 ? last->width() : charW;
        return clampRects({ Rect(first->minX(), first->minY(), last->minX() + w - first->minX(), h) }, paraRect);
    }

    const long long step = count < 32 ? count / 4 : 8;
    std::vector<Jump> jumps;
    double prevY = first->minY();
    for (long long pos = step; pos < count; pos += step) {
        const auto r = probe(element, base + pos);
        if (!r)
            continue;
        if (std::fabs(r->minY() - prevY) > lineTol) {
            jumps.push_back({ pos - step, pos, r->minY() });
            prevY = r->minY();
        }
    }
    if (last && std::fabs(last->minY() - prevY) > lineTol) {
        const long long remainder = count % step;
        const long long lastScanned = remainder == 0 ? count - step : count - remainder;
        jumps.push_back({ lastScanned, count - 1, last->minY() });
    }

    std::vector<long long> starts { 0 };
    for (const Jump& jump : jumps) {
        long long lo = jump.lo, hi = jump.hi;
        while (lo < hi) {
            const long long mid = (lo + hi) / 2;
            const auto r = probe(element, base + mid);
            if (!r || std::fabs(r->minY() - jump.y) >= lineTol)
                lo = mid + 1;
            else
                hi = mid;
        }
        if (lo >= 1 && lo < count)
            starts.push_back(lo);
    }

    std::vector<Rect> lineRects { *first };
    for (size_t k = 1; k < starts.size(); ++k) {
        if (auto r = probe(element, base + starts[k]))
            lineRects.push_back(*r);
    }
    if (lineRects.size() != starts.size())
        return {};

    double lineH = h;
    if (lineRects.size() >= 2) {
        for (size_t k = 0; k + 1 < lineRects.size(); ++k) {
            if (std::fabs(lineRects[k + 1].minY() - lineRects[k].minY()) > 4 * h)
                return { paraRect };
        }
        const double gap = std::max(lineRects[1].minY() - lineRects[0].minY(), h);
        const double n = std::max(std::floor(paraRect.height() / gap), 1.0);
        lineH = std::max(paraRect.height() / n, gap);
    }

    std::vector<Rect> lines;
    for (size_t k = 0; k < lineRects.size(); ++k) {
        const double x = lineRects[k].minX();
        const double y = lineRects[k].minY();
        if (k + 1 < lineRects.size()) {
            lines.emplace_back(x, y, paraRect.maxX() - x, lineRects[k + 1].minY() - y);
            continue;
        }
        double right;
        if (auto end = probe(element, base + count - 1))
            right = end->minX() + (end->width() > 0 ? end->width() : charW);
        else
            right = x + charW * static_cast<double>(count - starts[k]);
        const double height = isLastInParagraph == LastInParagraph::yes ? std::max(paraRect.maxY() - y, lineH) : lineH;
        lines.emplace_back(x, y, right - x, height);
    }
    return clampRects(lines, paraRect);
}

std::vector<int> buildIndexMapping(std::string_view source, std::string_view target)
{
    const std::vector<std::string> targetKeys = CharacterMatching::canonicalKeys(Text::characters(target));
    std::vector<int> mapping;
    size_t j = 0;
    for (const std::string& character : Text::characters(source)) {
        if (j >= targetKeys.size())
            break;
        // White space stands for white space where it is; elsewhere it is a separator the
        // paragraph put between pieces that meet without one, and the element holds nothing there.
        if (Text::isWhitespaceCharacter(character)) {
            if (Text::isWhitespaceCharacter(targetKeys[j])) {
                mapping.push_back(static_cast<int>(j++));
            } else {
                mapping.push_back(-1);
            }
            continue;
        }
        const std::string key = CharacterMatching::canonicalKey(character);
        auto found = std::find(targetKeys.begin() + static_cast<std::ptrdiff_t>(j), targetKeys.end(), key);
        if (found == targetKeys.end())
            break;
        const auto k = static_cast<size_t>(found - targetKeys.begin());
        mapping.push_back(static_cast<int>(k));
        j = k + 1;
    }
    return mapping;
}

void collectStaticTextChildren(const AXElement& element, std::vector<StaticTextChild>& into, int depth)
{
    if (depth > staticTextMaxDepth)
        return;
    const std::string role = AXReader::attribute(element, AXName::role).value_or("");
    if (role == "AXStaticText") {
        auto value = AXReader::attribute(element, AXName::value);
        if (value && !value->empty())
            into.push_back({ element, *value });
        return;
    }
    for (const AXElement& child : AXReader::rawChildren(element))
        collectStaticTextChildren(child, into, depth + 1);
}

} // namespace lorvantine::HighlightGeometry
