#include "Documents/ScreenTrail.h"

#include "Documents/ParagraphWords.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace lorvantine {

namespace {

using ParagraphWords::Line;

// A press that moves the document less than this has not moved it.
constexpr double unmoved = 0.5;
// Two first lines this close (in line heights) are the same line, read at two scroll positions
// (a line clipped at an edge is recognised with a shorter box).
constexpr double sameLineShare = 0.5;
// The gap between two lines of one paragraph, in line heights, where a screen shows no two lines
// of one paragraph to measure it.
constexpr double assumedLineGapShare = 0.5;

struct Parts {
    ArticleParagraph paragraph;
    std::vector<OCRWordEntry> words;
    std::vector<Line> lines;
};

Parts partsOf(ArticleParagraph paragraph)
{
    Parts parts { std::move(paragraph), {}, {} };
    parts.words = ParagraphWords::words(parts.paragraph);
    parts.lines = ParagraphWords::lines(parts.words);
    return parts;
}

// The paragraph from line `firstLine` on.
ArticleParagraph fromLine(const Parts& parts, size_t firstLine)
{
    if (firstLine == 0)
        return parts.paragraph;
    return ParagraphWords::rebuilt(parts.paragraph, std::vector<OCRWordEntry>(parts.words.begin() + static_cast<std::ptrdiff_t>(parts.lines[firstLine].begin),
                                                                             parts.words.end()));
}

double lowestLine(const std::vector<ArticleParagraph>& paragraphs, double floor)
{
    for (const ArticleParagraph& paragraph : paragraphs) {
        auto lines = ParagraphWords::lines(ParagraphWords::words(paragraph));
        if (!lines.empty())
            floor = std::max(floor, lines.back().box.maxY());
    }
    return floor;
}

// The usual gap between two lines of one paragraph on this screen.
double lineGapOf(const std::vector<Parts>& screen, double lineHeight)
{
    std::vector<double> gaps;
    for (const Parts& parts : screen)
        for (size_t i = 1; i < parts.lines.size(); ++i)
            if (double gap = parts.lines[i].box.minY() - parts.lines[i - 1].box.maxY(); gap > 0)
                gaps.push_back(gap);
    if (gaps.empty())
        return assumedLineGapShare * lineHeight;
    std::sort(gaps.begin(), gaps.end());
    return gaps[gaps.size() / 2];
}

// `at`: an empty frame still tells which screen the paragraph belongs to.
void clearPlace(ArticleParagraph& paragraph, Point at = {})
{
    paragraph.frame = Rect(at, Size());
    paragraph.ocrWordBboxes.reset();
    paragraph.tightFrameYOffset.reset();
    paragraph.tightFrameHeight.reset();
}

bool sameLine(const Rect& a, const Rect& b)
{
    return std::fabs(a.midY() - b.midY()) < sameLineShare * std::fmax(a.height(), b.height());
}

} // namespace

bool ScreenTrail::isAt(const ScrollPosition& position) const
{
    return m_contentTop && std::fabs(position.contentTop - *m_contentTop) < unmoved;
}

std::vector<ArticleParagraph> ScreenTrail::advance(const std::vector<ArticleParagraph>& screen, const ScrollPosition& position)
{
    std::vector<Parts> shown;
    for (const ArticleParagraph& paragraph : screen) {
        Parts parts = partsOf(ParagraphWords::shifted(paragraph, -position.contentTop));
        if (!parts.lines.empty())
            shown.push_back(std::move(parts));
    }
    const double handed = m_handedBottom.value_or(-INFINITY);
    std::optional<Parts> held;
    if (m_held)
        held = partsOf(*std::exchange(m_held, std::nullopt));
    const double heldTop = held ? held->lines.front().box.minY() : 0;
    const double heldBottom = held ? held->lines.back().box.maxY() : 0;
    const double lineGap = held ? lineGapOf(shown, held->lines.back().box.height()) : 0;

    std::vector<ArticleParagraph> out;
    m_lastRepeats = 0;
    bool lowestHandedOut = false;
    // Where the held paragraph stands once handed out. A screen may cut it in two where the one
    // before did not (evenly spaced rows, cut wherever this screen's own gaps say): its lines in
    // the paragraph after were handed out with it, and the lines going on from them join it while
    // it is the last paragraph out.
    std::optional<Rect> heldSpan;
    size_t outWithHeld = 0;
    auto inHeldSpan = [&](const Line& line) {
        return heldSpan && line.box.midY() >= heldSpan->minY() && line.box.midY() <= heldSpan->maxY()
            && line.box.minX() < heldSpan->maxX() && line.box.maxX() > heldSpan->minX();
    };
    auto handOutHeld = [&](ArticleParagraph paragraph) {
        const std::vector<Line> lines = partsOf(paragraph).lines;
        Rect span = lines.front().box;
        for (const Line& line : lines)
            span = span.united(line.box);
        heldSpan = span;
        out.push_back(std::move(paragraph));
        outWithHeld = out.size();
    };
    for (const Parts& parts : shown) {
        lowestHandedOut = false;
        // Lines at or above the lowest line handed out were read; a paragraph holds them first.
        size_t firstUnread = 0;
        bool goesOnFromHeld = false;
        while (firstUnread < parts.lines.size()
               && (parts.lines[firstUnread].box.midY() <= handed || inHeldSpan(parts.lines[firstUnread]))) {
            goesOnFromHeld = goesOnFromHeld || inHeldSpan(parts.lines[firstUnread]);
            ++firstUnread;
        }
        if (firstUnread == parts.lines.size()) {
            ++m_lastRepeats;
            continue;
        }
        if (goesOnFromHeld && outWithHeld == out.size()) {
            std::vector<OCRWordEntry> words = ParagraphWords::words(out.back());
            words.insert(words.end(), parts.words.begin() + static_cast<std::ptrdiff_t>(parts.lines[firstUnread].begin),
                         parts.words.end());
            ArticleParagraph joined = ParagraphWords::rebuilt(out.back(), words);
            out.pop_back();
            handOutHeld(std::move(joined));
            lowestHandedOut = true;
            continue;
        }
        const Rect& first = parts.lines[firstUnread].box;
        auto isHeldLine = [&](const Line& line) { return line.box.midY() >= heldTop && line.box.midY() <= heldBottom; };
        const bool overHeld = held && std::any_of(parts.lines.begin() + static_cast<std::ptrdiff_t>(firstUnread), parts.lines.end(), isHeldLine);
        // Screens that do not overlap: the held paragraph's next line opens this screen.
        const bool belowHeld = held && first.minY() > heldBottom && first.minY() - heldBottom <= 1.5 * lineGap;
        if (held && (overHeld || belowHeld)) {
            if (sameLine(first, held->lines.front().box)) {
                handOutHeld(fromLine(parts, firstUnread));
            } else {
                // Unread lines above the held paragraph, the held paragraph, and what goes on below it.
                std::vector<OCRWordEntry> words;
                auto take = [&](const Line& line) {
                    words.insert(words.end(), parts.words.begin() + static_cast<std::ptrdiff_t>(line.begin),
                                 parts.words.begin() + static_cast<std::ptrdiff_t>(line.end));
                };
                size_t i = firstUnread;
                for (; i < parts.lines.size() && parts.lines[i].box.midY() < heldTop; ++i)
                    take(parts.lines[i]);
                words.insert(words.end(), held->words.begin(), held->words.end());
                for (; i < parts.lines.size(); ++i)
                    if (parts.lines[i].box.midY() > heldBottom)
                        take(parts.lines[i]);
                handOutHeld(ParagraphWords::rebuilt(held->paragraph, words));
            }
            held.reset();
            lowestHandedOut = true;
            continue;
        }
        if (held && first.minY() >= heldBottom) {
            out.push_back(held->paragraph);
            held.reset();
        }
        out.push_back(fromLine(parts, firstUnread));
        lowestHandedOut = true;
    }
    // Nothing on this screen goes on from the held paragraph: it ended at the last screen's foot.
    if (held) {
        out.push_back(held->paragraph);
        lowestHandedOut = false;
    }

    if (lowestHandedOut && !shown.empty()) {
        const Line& last = shown.back().lines.back();
        const double room = position.documentY(position.viewport.maxY()) - last.box.maxY();
        // A next line of this paragraph would have been seen had there been room for it.
        if (room < lineGapOf(shown, last.box.height()) + last.box.height()) {
            m_held = out.back();
            out.pop_back();
        }
    }
    m_handedBottom = lowestLine(out, handed);
    m_contentTop = position.contentTop;
    return out;
}

std::optional<ArticleParagraph> ScreenTrail::release()
{
    auto held = std::exchange(m_held, std::nullopt);
    if (held)
        m_handedBottom = lowestLine({ *held }, m_handedBottom.value_or(-INFINITY));
    return held;
}

std::vector<ArticleParagraph> ScreenTrail::placed(std::vector<ArticleParagraph> paragraphs, const ScrollPosition& position)
{
    const Rect& area = position.viewport;
    auto inArea = [&](const Rect& box) { return box.midY() >= area.minY() && box.midY() <= area.maxY(); };
    // The edge of the area a paragraph has left by.
    auto edgeNear = [&](const Rect& frame) { return Point { area.minX(), frame.midY() < area.minY() ? area.minY() : area.maxY() }; };
    for (ArticleParagraph& paragraph : paragraphs) {
        paragraph = ParagraphWords::shifted(std::move(paragraph), position.contentTop);
        if (!paragraph.ocrWordBboxes || paragraph.ocrWordBboxes->empty()) {
            const Rect visible = paragraph.frame.intersection(area);
            if (visible.isEmpty())
                clearPlace(paragraph, edgeNear(paragraph.frame));
            else
                paragraph.frame = visible;
            continue;
        }
        Rect frame;
        for (OCRWordEntry& word : *paragraph.ocrWordBboxes) {
            if (inArea(word.screenRect))
                frame = frame.united(word.screenRect);
            else
                word.screenRect = Rect(word.screenRect.minX(), word.screenRect.minY(), word.screenRect.width(), 0);
        }
        if (frame.isEmpty()) {
            clearPlace(paragraph, edgeNear(paragraph.frame));
            continue;
        }
        ParagraphWords::setFrame(paragraph, frame);
    }
    return paragraphs;
}

ArticleParagraph ScreenTrail::withoutPlace(ArticleParagraph paragraph)
{
    clearPlace(paragraph);
    return paragraph;
}

} // namespace lorvantine
