#include "SimDesktop/Text/SimTextLayout.h"

#include "SimDesktop/Text/SimPango.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>

namespace lorvantine {

namespace {

// Pango's shared objects are not thread-safe: every layout is made under this lock.
std::mutex s_pangoMutex;

PangoContext* sharedContext()
{
    static PangoContext* context = SimPango::newContext();
    return context;
}

constexpr char32_t replacement = 0xFFFD;

char32_t decodeScalar(const std::string& s, size_t& i)
{
    auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
    unsigned char b0 = byte(i);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    size_t length = b0 >= 0xF0 && b0 <= 0xF4 ? 4 : b0 >= 0xE0 ? 3 : b0 >= 0xC2 && b0 < 0xE0 ? 2 : 0;
    if (length == 0 || i + length > s.size()) {
        ++i;
        return replacement;
    }
    char32_t c = b0 & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            ++i;
            return replacement;
        }
        c = (c << 6) | (byte(i + k) & 0x3F);
    }
    bool overlong = (length == 3 && c < 0x800) || (length == 4 && c < 0x10000);
    if (overlong || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
        ++i;
        return replacement;
    }
    i += length;
    return c;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

std::string sanitized(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();)
        appendUtf8(out, decodeScalar(text, i));
    return out;
}

// Sums of Pango units are kept in 64 bits: at 1024 units a point, an int holds only about two
// million points, less than one line of a long unwrapped paragraph.
double fromPango(int64_t units) { return static_cast<double>(units) / PANGO_SCALE; }

} // namespace

std::shared_ptr<const SimTextLayout> SimTextLayout::make(const std::string& text, double width, const SimFont& font)
{
    std::shared_ptr<SimTextLayout> layout(new SimTextLayout);
    layout->m_text = sanitized(text);
    layout->m_font = font;
    layout->m_width = width;
    layout->build(width);
    return layout;
}

int64_t SimTextLayout::utf16Length(const std::string& text)
{
    int64_t units = 0;
    for (size_t i = 0; i < text.size();)
        units += decodeScalar(text, i) > 0xFFFF ? 2 : 1;
    return units;
}

void SimTextLayout::build(double width)
{
    // Scalar tables: where each scalar starts in bytes and in UTF-16 units.
    const size_t byteCount = m_text.size();
    std::vector<uint32_t> charByte;
    std::vector<uint32_t> charUnit;
    std::vector<uint32_t> byteToChar(byteCount + 1, 0);
    uint32_t units = 0;
    for (size_t i = 0; i < byteCount;) {
        size_t start = i;
        char32_t c = decodeScalar(m_text, i);
        for (size_t b = start; b < i; ++b)
            byteToChar[b] = static_cast<uint32_t>(charByte.size());
        charByte.push_back(static_cast<uint32_t>(start));
        charUnit.push_back(units);
        units += c > 0xFFFF ? 2 : 1;
    }
    const size_t charCount = charByte.size();
    byteToChar[byteCount] = static_cast<uint32_t>(charCount);
    charByte.push_back(static_cast<uint32_t>(byteCount));
    charUnit.push_back(units);

    m_unitByte.reserve(units + 1);
    for (size_t c = 0; c < charCount; ++c)
        for (uint32_t u = charUnit[c]; u < charUnit[c + 1]; ++u)
            m_unitByte.push_back(charByte[c]);
    m_unitByte.push_back(static_cast<uint32_t>(byteCount));
    m_units.resize(units);

    std::vector<float> charX(charCount, 0), charWidth(charCount, -1);
    std::vector<uint32_t> charLine(charCount, 0);
    std::vector<int> lineStartByte;
    std::vector<char> cursorPosition(charCount + 1, 1);

    // Each paragraph is laid out on its own and the paragraphs stacked: the same lines as one
    // layout of the whole text, but linear in its length where one layout is not.
    {
        std::lock_guard lock(s_pangoMutex);
        PangoFontDescription* description = SimPango::newFontDescription(m_font);
        std::vector<int> widths;
        int64_t top = 0;
        int64_t widest = 0;
        SimPango::forEachParagraph(m_text, [&](size_t begin, size_t length) {
            const char* paragraph = m_text.data() + begin;
            PangoLayout* layout = SimPango::newLayout(sharedContext(), description, { paragraph, length }, width);

            const uint32_t firstChar = byteToChar[begin];
            int attrCount = 0;
            const PangoLogAttr* attrs = pango_layout_get_log_attrs_readonly(layout, &attrCount);
            for (size_t c = firstChar; c < charCount && charByte[c] < begin + length; ++c)
                if (c - firstChar < static_cast<size_t>(attrCount))
                    cursorPosition[c] = attrs[c - firstChar].is_cursor_position || c == firstChar;

            // Pango keeps line tops, offsets and widths in ints of 1/1024 points, which wrap round
            // on a long paragraph: tops and widths are summed here in 64 bits instead.
            PangoLayoutIter* iter = pango_layout_get_iter(layout);
            do {
                PangoLayoutLine* line = pango_layout_iter_get_line_readonly(iter);
                PangoRectangle logical;
                pango_layout_iter_get_line_extents(iter, nullptr, &logical);
                const size_t lineStart = begin + static_cast<size_t>(line->start_index);
                Line entry;
                entry.start = charUnit[byteToChar[lineStart]];
                entry.y = static_cast<float>(fromPango(top));
                entry.height = static_cast<float>(fromPango(logical.height));
                const uint32_t lineIndex = static_cast<uint32_t>(m_lines.size());
                lineStartByte.push_back(static_cast<int>(lineStart));

                // Each run is short enough for an int; a whole line may not be, and then Pango's
                // offset for it has wrapped round too. Such a line is unwrapped: it starts at 0.
                int64_t lineWidth = 0;
                for (GSList* r = line->runs; r; r = r->next)
                    lineWidth += pango_glyph_string_get_width(static_cast<PangoGlyphItem*>(r->data)->glyphs);
                const int64_t lineX = lineWidth > std::numeric_limits<int>::max() ? 0 : logical.x;
                entry.x = static_cast<float>(fromPango(lineX));

                int64_t runX = lineX;
                for (GSList* r = line->runs; r; r = r->next) {
                    auto* run = static_cast<PangoGlyphItem*>(r->data);
                    const int n = run->item->num_chars;
                    widths.assign(static_cast<size_t>(n), 0);
                    pango_glyph_item_get_logical_widths(run, paragraph, widths.data());
                    int64_t runWidth = 0;
                    for (int w : widths)
                        runWidth += w;
                    const bool rightToLeft = run->item->analysis.level % 2 == 1;
                    const uint32_t first = byteToChar[begin + static_cast<size_t>(run->item->offset)];
                    int64_t x = rightToLeft ? runX + runWidth : runX;
                    for (int k = 0; k < n && first + k < charCount; ++k) {
                        const size_t c = first + static_cast<size_t>(k);
                        if (rightToLeft)
                            x -= widths[k];
                        charX[c] = static_cast<float>(fromPango(x));
                        charWidth[c] = static_cast<float>(fromPango(widths[k]));
                        charLine[c] = lineIndex;
                        if (!rightToLeft)
                            x += widths[k];
                    }
                    runX += runWidth;
                }
                entry.width = static_cast<float>(fromPango(lineWidth));
                widest = std::max(widest, lineWidth);
                top += logical.height;
                m_lines.push_back(entry);
            } while (pango_layout_iter_next_line(iter));
            pango_layout_iter_free(iter);
            g_object_unref(layout);
        });
        pango_font_description_free(description);
        m_size = Size { fromPango(widest), fromPango(top) };
    }
    // A CR LF pair is one Character.
    for (size_t c = 1; c < charCount; ++c)
        if (m_text[charByte[c]] == '\n' && m_text[charByte[c - 1]] == '\r')
            cursorPosition[c] = 0;

    for (size_t l = 0; l < m_lines.size(); ++l)
        m_lines[l].end = l + 1 < m_lines.size() ? m_lines[l + 1].start : units;

    // Line breaks and anything else outside the runs sit at the end of their line, zero wide.
    size_t line = 0;
    for (size_t c = 0; c < charCount; ++c) {
        if (charWidth[c] >= 0)
            continue;
        while (line + 1 < lineStartByte.size() && static_cast<uint32_t>(lineStartByte[line + 1]) <= charByte[c])
            ++line;
        charX[c] = m_lines[line].x + m_lines[line].width;
        charWidth[c] = 0;
        charLine[c] = static_cast<uint32_t>(line);
    }

    // Every unit of a Character answers with the whole Character's extent.
    for (size_t a = 0; a < charCount;) {
        size_t b = a + 1;
        while (b < charCount && !cursorPosition[b])
            ++b;
        float x0 = charX[a], x1 = charX[a] + charWidth[a];
        for (size_t c = a + 1; c < b; ++c) {
            if (charLine[c] != charLine[a])
                continue;
            x0 = std::min(x0, charX[c]);
            x1 = std::max(x1, charX[c] + charWidth[c]);
        }
        for (uint32_t u = charUnit[a]; u < charUnit[b]; ++u)
            m_units[u] = Unit { x0, x1 - x0, charLine[a], charUnit[a] };
        a = b;
    }
}

Rect SimTextLayout::unitRect(size_t index) const
{
    const Unit& u = m_units[index];
    const Line& l = m_lines[u.line];
    return Rect(u.x, l.y, u.width, l.height);
}

std::optional<Rect> SimTextLayout::boundsForRange(AXRange range) const
{
    const auto count = static_cast<int64_t>(m_units.size());
    if (range.location < 0 || range.length < 0 || range.location > count || range.length > count - range.location)
        return std::nullopt;
    if (range.length == 0) {
        const auto loc = static_cast<size_t>(range.location);
        if (loc < m_units.size()) {
            const Line& l = m_lines[m_units[loc].line];
            return Rect(m_units[loc].x, l.y, 0, l.height);
        }
        const Line& last = m_lines.back();
        double x = last.x;
        if (!m_units.empty() && m_units.back().line + 1 == m_lines.size())
            x = m_units.back().x + m_units.back().width;
        return Rect(x, last.y, 0, last.height);
    }

    const auto first = static_cast<size_t>(range.location);
    const auto last = static_cast<size_t>(range.location + range.length - 1);
    double x0 = std::numeric_limits<double>::infinity(), x1 = -x0;
    auto include = [&](size_t u) {
        if (m_units[u].width <= 0)
            return;
        x0 = std::min<double>(x0, m_units[u].x);
        x1 = std::max<double>(x1, m_units[u].x + m_units[u].width);
    };
    const uint32_t lineA = m_units[first].line, lineB = m_units[last].line;
    if (lineA == lineB) {
        for (size_t u = first; u <= last; ++u)
            include(u);
    } else {
        for (size_t u = first; u < m_lines[lineA].end; ++u)
            include(u);
        for (uint32_t l = lineA + 1; l < lineB; ++l) {
            if (m_lines[l].width <= 0)
                continue;
            x0 = std::min<double>(x0, m_lines[l].x);
            x1 = std::max<double>(x1, m_lines[l].x + m_lines[l].width);
        }
        for (size_t u = m_lines[lineB].start; u <= last; ++u)
            include(u);
    }
    if (x0 > x1) {
        x0 = m_units[first].x;
        x1 = x0;
    }
    const double y0 = m_lines[lineA].y;
    const double y1 = m_lines[lineB].y + m_lines[lineB].height;
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::optional<std::string> SimTextLayout::stringForRange(AXRange range) const
{
    const auto count = static_cast<int64_t>(m_units.size());
    if (range.location < 0 || range.length < 0 || range.location > count || range.length > count - range.location)
        return std::nullopt;
    auto begin = static_cast<size_t>(range.location);
    auto end = static_cast<size_t>(range.location + range.length);
    // Half of a surrogate pair cannot be expressed in UTF-8; it reads as U+FFFD.
    auto splitsPair = [&](size_t u) { return u > 0 && u < m_units.size() && m_unitByte[u] == m_unitByte[u - 1]; };
    std::string out;
    if (begin < end && splitsPair(begin)) {
        appendUtf8(out, replacement);
        ++begin;
    }
    bool halfAtEnd = begin < end && splitsPair(end);
    if (halfAtEnd)
        --end;
    if (begin < end)
        out.append(m_text, m_unitByte[begin], m_unitByte[end] - m_unitByte[begin]);
    if (halfAtEnd)
        appendUtf8(out, replacement);
    return out;
}

std::optional<size_t> SimTextLayout::lineForIndex(size_t index) const
{
    if (index < m_units.size())
        return m_units[index].line;
    if (index == m_units.size())
        return m_lines.size() - 1;
    return std::nullopt;
}

std::optional<AXRange> SimTextLayout::rangeForLine(size_t line) const
{
    if (line >= m_lines.size())
        return std::nullopt;
    return AXRange { m_lines[line].start, static_cast<int64_t>(m_lines[line].end) - m_lines[line].start };
}

std::optional<Rect> SimTextLayout::lineRect(size_t line) const
{
    if (line >= m_lines.size())
        return std::nullopt;
    const Line& l = m_lines[line];
    return Rect(l.x, l.y, l.width, l.height);
}

AXRange SimTextLayout::characterRangeAt(size_t index) const
{
    if (index >= m_units.size())
        return AXRange { static_cast<int64_t>(m_units.size()), 0 };
    const uint32_t start = m_units[index].characterStart;
    size_t end = index + 1;
    while (end < m_units.size() && m_units[end].characterStart == start)
        ++end;
    return AXRange { start, static_cast<int64_t>(end - start) };
}

AXRange SimTextLayout::rangeForPosition(Point point) const
{
    auto it = std::partition_point(m_lines.begin(), m_lines.end(),
                                   [&](const Line& l) { return l.y + l.height <= point.y; });
    const Line& line = it == m_lines.end() ? m_lines.back() : *it;
    std::optional<size_t> firstVisible, lastVisible;
    for (size_t u = line.start; u < line.end; ++u) {
        const Unit& unit = m_units[u];
        if (unit.width <= 0)
            continue;
        if (!firstVisible)
            firstVisible = u;
        lastVisible = u;
        if (point.x >= unit.x && point.x < unit.x + unit.width)
            return characterRangeAt(u);
    }
    if (!firstVisible)
        return characterRangeAt(line.start);
    return characterRangeAt(point.x < m_units[*firstVisible].x ? *firstVisible : *lastVisible);
}

AXRange SimTextLayout::rangeOfLinesBetween(double top, double bottom) const
{
    auto first = std::partition_point(m_lines.begin(), m_lines.end(), [&](const Line& l) { return l.y + l.height <= top; });
    auto last = std::partition_point(m_lines.begin(), m_lines.end(), [&](const Line& l) { return l.y < bottom; });
    if (first >= last)
        return AXRange {};
    return AXRange { first->start, static_cast<int64_t>((last - 1)->end) - first->start };
}

} // namespace lorvantine
