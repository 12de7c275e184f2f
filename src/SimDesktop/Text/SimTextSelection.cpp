#include "SimDesktop/Text/SimTextSelection.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "Support/Text.h"

#include <unicode/uchar.h>

#include <algorithm>

namespace lorvantine::SimTextSelection {

namespace {

bool isWordScalar(char32_t c)
{
    const auto category = u_charType(static_cast<UChar32>(c));
    return u_isalnum(static_cast<UChar32>(c)) || c == U'_' || category == U_NON_SPACING_MARK
        || category == U_COMBINING_SPACING_MARK || category == U_ENCLOSING_MARK;
}

bool isWordCharacter(const SimTextLayout& layout, AXRange character)
{
    auto text = layout.stringForRange(character);
    if (!text || text->empty())
        return false;
    const std::u32string s = Text::scalars(*text);
    return !s.empty() && isWordScalar(s.front());
}

bool endsParagraph(const SimTextLayout& layout, AXRange character)
{
    auto text = layout.stringForRange(character);
    return text && !text->empty() && Text::isNewlineCharacter(*text);
}

} // namespace

AXRange current(const SimNode& node)
{
    const int64_t location = std::clamp<int64_t>(node.selection.location, 0, node.utf16Length);
    const int64_t length = std::clamp<int64_t>(node.selection.length, 0, node.utf16Length - location);
    return AXRange { location, length };
}

std::string selectedText(SimModel& model, SimNode& node)
{
    if (!node.isSelectable())
        return {};
    return SimGeometry::layout(model, node).stringForRange(current(node)).value_or(std::string {});
}

bool select(SimModel& model, SimNode& node, AXRange range)
{
    if (!node.isSelectable() || range.location < 0 || range.length < 0 || range.location > node.utf16Length
        || range.length > node.utf16Length - range.location)
        return false;
    if (current(node) == range && node.selection == range)
        return true;
    node.selection = range;
    model.post(node.id, "AXSelectedTextChanged");
    return true;
}

namespace {

Point localPoint(SimModel& model, SimNode& node, Point point)
{
    const Point origin = SimGeometry::frame(model, node).value_or(Rect {}).origin;
    return Point { point.x - origin.x, point.y - origin.y };
}

} // namespace

int64_t indexAt(SimModel& model, SimNode& node, Point point)
{
    return SimGeometry::layout(model, node).rangeForPosition(localPoint(model, node, point)).location;
}

int64_t caretAt(SimModel& model, SimNode& node, Point point)
{
    const SimTextLayout& layout = SimGeometry::layout(model, node);
    const Point local = localPoint(model, node, point);
    const AXRange character = layout.rangeForPosition(local);
    if (character.length == 0)
        return character.location;
    auto bounds = layout.boundsForRange(character);
    if (bounds && local.x >= bounds->midX() && !endsParagraph(layout, character))
        return character.location + character.length;
    return character.location;
}

AXRange unitAt(const SimTextLayout& layout, int64_t index, Granularity granularity)
{
    const int64_t length = static_cast<int64_t>(layout.utf16Length());
    if (length == 0)
        return {};
    index = std::clamp<int64_t>(index, 0, length - 1);
    const AXRange character = layout.characterRangeAt(static_cast<size_t>(index));
    switch (granularity) {
    case Granularity::character:
        return character;
    case Granularity::word: {
        if (!isWordCharacter(layout, character))
            return character;
        int64_t begin = character.location;
        int64_t end = character.location + character.length;
        while (begin > 0) {
            const AXRange before = layout.characterRangeAt(static_cast<size_t>(begin - 1));
            if (!isWordCharacter(layout, before))
                break;
            begin = before.location;
        }
        while (end < length) {
            const AXRange after = layout.characterRangeAt(static_cast<size_t>(end));
            if (!isWordCharacter(layout, after))
                break;
            end = after.location + after.length;
        }
        return AXRange { begin, end - begin };
    }
    case Granularity::paragraph: {
        int64_t begin = character.location;
        while (begin > 0) {
            const AXRange before = layout.characterRangeAt(static_cast<size_t>(begin - 1));
            if (endsParagraph(layout, before))
                break;
            begin = before.location;
        }
        int64_t end = character.location;
        while (end < length) {
            const AXRange here = layout.characterRangeAt(static_cast<size_t>(end));
            end = here.location + here.length;
            if (endsParagraph(layout, here))
                break;
        }
        return AXRange { begin, end - begin };
    }
    }
    return character;
}

} // namespace lorvantine::SimTextSelection
