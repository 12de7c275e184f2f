#pragma once

#include "Platform/AXTypes.h"
#include "SimDesktop/Text/SimFont.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace lorvantine {

// The layout of one text, computed once with Pango at a given width and font, and answered from
// precomputed tables afterwards: every query is in UTF-16 units and costs O(1) or O(log n)
// (a range's bounds cost O(lines it spans)). Rectangles are relative to the layout's top-left
// corner, y downward. Immutable once made, so it may be shared between threads.
class SimTextLayout {
public:
    // `width` <= 0 lays the text out on unwrapped lines. Invalid UTF-8 is read as U+FFFD.
    static std::shared_ptr<const SimTextLayout> make(const std::string& text, double width, const SimFont& font);
    // The UTF-16 length the layout of `text` will have (invalid UTF-8 counted as U+FFFD).
    static int64_t utf16Length(const std::string& text);

    const std::string& text() const { return m_text; }
    const SimFont& font() const { return m_font; }
    double width() const { return m_width; }
    size_t utf16Length() const { return m_units.size(); }
    // Width of the widest line and height of all lines.
    Size size() const { return m_size; }
    size_t lineCount() const { return m_lines.size(); }

    // None when the range does not lie within the text. An empty range gives a caret: zero width,
    // the height of its line. A range that splits a Character covers the whole Character.
    std::optional<Rect> boundsForRange(AXRange range) const;
    std::optional<std::string> stringForRange(AXRange range) const;
    // Lines and their ranges; a line's range includes the line break that ends it.
    std::optional<size_t> lineForIndex(size_t index) const;
    std::optional<AXRange> rangeForLine(size_t line) const;
    std::optional<Rect> lineRect(size_t line) const;
    // The Character at `point`, or the nearest one on the nearest line.
    AXRange rangeForPosition(Point point) const;
    // The lines that overlap [top, bottom), as one range (empty at 0 when none do).
    AXRange rangeOfLinesBetween(double top, double bottom) const;
    // The Character that holds UTF-16 unit `index`.
    AXRange characterRangeAt(size_t index) const;

private:
    struct Unit {
        float x = 0;
        float width = 0;
        uint32_t line = 0;
        uint32_t characterStart = 0; // UTF-16 index where this unit's Character begins
    };
    struct Line {
        uint32_t start = 0;
        uint32_t end = 0;
        float x = 0;
        float y = 0;
        float width = 0;
        float height = 0;
    };

    SimTextLayout() = default;
    void build(double width);
    Rect unitRect(size_t index) const;

    std::string m_text;
    SimFont m_font;
    double m_width = 0;
    Size m_size;
    std::vector<uint32_t> m_unitByte; // UTF-16 index → byte offset, one extra entry for the end
    std::vector<Unit> m_units;
    std::vector<Line> m_lines;
};

} // namespace lorvantine
