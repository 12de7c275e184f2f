#include "SimDesktop/Text/SimTextAttributes.h"

#include "SimDesktop/Model/SimGeometry.h"
#include "Support/Text.h"

#include <algorithm>

namespace lorvantine::SimTextAttributes {

namespace {

// The element's text as a window onto a layout: its own part [offset, offset + length).
struct TextView {
    const SimTextLayout* layout = nullptr;
    int64_t offset = 0;
    int64_t length = 0;
    Point origin;
    SimNode* owner = nullptr;
    const std::vector<int64_t>* breaks = nullptr; // hidden line breaks, in layout offsets

    // A character offset of the element's text in the layout: past every hidden break before it.
    int64_t toLayout(int64_t at) const
    {
        int64_t result = offset + at;
        if (breaks)
            for (int64_t b : *breaks)
                if (b <= result)
                    ++result;
        return result;
    }

    // A layout offset as a character offset of the element's text; a break counts as what follows it.
    int64_t fromLayout(int64_t at) const
    {
        int64_t result = at - offset;
        if (breaks)
            for (int64_t b : *breaks)
                if (b < at)
                    --result;
        return result;
    }

    // The layout ranges that make up `r` of the element's text, hidden breaks left out.
    std::vector<AXRange> layoutPieces(const AXRange& r) const
    {
        if (!breaks || breaks->empty())
            return { AXRange { offset + r.location, r.length } };
        std::vector<AXRange> pieces;
        int64_t at = toLayout(r.location);
        int64_t left = r.length;
        for (int64_t b : *breaks) {
            if (left <= 0)
                break;
            if (b < at)
                continue;
            const int64_t take = std::min(left, b - at);
            if (take > 0)
                pieces.push_back(AXRange { at, take });
            left -= take;
            at = b + 1;
        }
        if (left > 0 || pieces.empty())
            pieces.push_back(AXRange { at, std::max<int64_t>(left, 0) });
        return pieces;
    }
};

TextView view(SimModel& model, SimNode& node)
{
    TextView v;
    v.owner = &node;
    if (node.textOwner != 0) {
        if (SimNode* owner = model.node(node.textOwner)) {
            v.owner = owner;
            v.offset = node.textSlice.location;
        }
    }
    v.layout = &SimGeometry::layout(model, *v.owner);
    v.length = node.utf16Length;
    if (node.textOwner == 0 && !node.hiddenBreaks.empty())
        v.breaks = &node.hiddenBreaks;
    if (auto f = SimGeometry::frame(model, *v.owner))
        v.origin = f->origin;
    return v;
}

// Whether the layout's text in `pieces` holds a CJK ideograph (the unified block or extension A).
bool holdsIdeograph(const TextView& v, const std::vector<AXRange>& pieces)
{
    for (const AXRange& piece : pieces) {
        for (char32_t scalar : Text::scalars(v.layout->stringForRange(piece).value_or("")))
            if ((scalar >= 0x4E00 && scalar <= 0x9FFF) || (scalar >= 0x3400 && scalar <= 0x4DBF))
                return true;
    }
    return false;
}

bool validRange(const AXRange& r, int64_t length)
{
    return r.location >= 0 && r.length >= 0 && r.location <= length && r.length <= length - r.location;
}

AXRange visibleRange(SimModel& model, SimNode& node, const TextView& v)
{
    auto visible = SimGeometry::visibleRect(model, *v.owner);
    if (!visible || visible->isEmpty())
        return {};
    AXRange lines = v.layout->rangeOfLinesBetween(visible->minY() - v.origin.y, visible->maxY() - v.origin.y);
    const int64_t begin = std::max(v.fromLayout(lines.location), int64_t { 0 });
    const int64_t end = std::min(v.fromLayout(lines.location + lines.length), node.utf16Length);
    if (end <= begin)
        return {};
    return AXRange { begin, end - begin };
}

} // namespace

bool isParameterized(const std::string& attribute)
{
    const auto& all = parameterizedNames();
    return std::find(all.begin(), all.end(), attribute) != all.end();
}

const std::vector<std::string>& parameterizedNames()
{
    static const std::vector<std::string> all { "AXStringForRange",  "AXBoundsForRange", "AXAttributedStringForRange",
                                                "AXLineForIndex",    "AXRangeForLine",   "AXRangeForPosition" };
    return all;
}

const std::vector<std::string>& names()
{
    static const std::vector<std::string> all { "AXValue", "AXNumberOfCharacters", "AXVisibleCharacterRange" };
    return all;
}

AXError copy(SimModel& model, SimNode& node, const std::string& attribute, AXValue& out)
{
    if (attribute == "AXValue") {
        out = *node.text;
        return AXError::success;
    }
    if (attribute == "AXNumberOfCharacters") {
        out = node.utf16Length;
        return AXError::success;
    }
    if (attribute == "AXVisibleCharacterRange") {
        out = visibleRange(model, node, view(model, node));
        return AXError::success;
    }
    return AXError::attributeUnsupported;
}

AXError copyParameterized(SimModel& model, SimNode& node, const std::string& attribute, const AXValue& parameter,
                          AXValue& out)
{
    const TextView v = view(model, node);
    if (attribute == "AXStringForRange" || attribute == "AXBoundsForRange" || attribute == "AXAttributedStringForRange") {
        const AXRange* r = axGet<AXRange>(parameter);
        if (!r || !validRange(*r, v.length))
            return AXError::illegalArgument;
        const std::vector<AXRange> pieces = v.layoutPieces(*r);
        if (attribute == "AXBoundsForRange") {
            std::optional<Rect> all;
            for (const AXRange& piece : pieces) {
                auto bounds = v.layout->boundsForRange(piece);
                if (!bounds)
                    return AXError::illegalArgument;
                all = all ? all->united(*bounds) : *bounds;
            }
            out = Rect(all->origin.x + v.origin.x, all->origin.y + v.origin.y, all->width(), all->height());
            if (v.owner->cjkBoundsEmpty && holdsIdeograph(v, pieces))
                out = Rect(all->origin.x + v.origin.x, all->origin.y + v.origin.y, 0, 0);
            return AXError::success;
        }
        std::optional<std::string> string;
        for (const AXRange& piece : pieces) {
            auto part = v.layout->stringForRange(piece);
            if (!part)
                return AXError::illegalArgument;
            string = string.value_or("") + *part;
        }
        if (!string)
            return AXError::illegalArgument;
        if (attribute == "AXStringForRange") {
            out = *string;
            return AXError::success;
        }
        const SimFont& font = v.owner->font;
        std::string fontName = font.family + (font.weight == SimFont::Weight::bold ? " Bold" : "");
        std::string size = std::to_string(font.size);
        size.erase(size.find_last_not_of('0') + 1);
        if (!size.empty() && size.back() == '.')
            size.pop_back();
        AXAttributedString attributed;
        attributed.string = *string;
        attributed.runs.push_back({ AXRange { 0, r->length },
                                    { { "AXFontName", fontName }, { "AXFontFamily", font.family }, { "AXFontSize", size } } });
        out = attributed;
        return AXError::success;
    }

    const size_t firstLine = v.layout->lineForIndex(static_cast<size_t>(v.offset)).value_or(0);
    if (attribute == "AXLineForIndex") {
        const int64_t* index = axGet<int64_t>(parameter);
        if (!index || *index < 0 || *index > v.length)
            return AXError::illegalArgument;
        auto line = v.layout->lineForIndex(static_cast<size_t>(v.toLayout(*index)));
        if (!line)
            return AXError::illegalArgument;
        out = static_cast<int64_t>(*line - firstLine);
        return AXError::success;
    }
    if (attribute == "AXRangeForLine") {
        const int64_t* line = axGet<int64_t>(parameter);
        if (!line || *line < 0)
            return AXError::illegalArgument;
        auto range = v.layout->rangeForLine(firstLine + static_cast<size_t>(*line));
        if (!range)
            return AXError::illegalArgument;
        const int64_t begin = std::max(v.fromLayout(range->location), int64_t { 0 });
        const int64_t end = std::min(v.fromLayout(range->location + range->length), v.length);
        if (end < begin || (end == begin && *line > 0))
            return AXError::illegalArgument;
        out = AXRange { begin, end - begin };
        return AXError::success;
    }
    if (attribute == "AXRangeForPosition") {
        const Point* point = axGet<Point>(parameter);
        if (!point)
            return AXError::illegalArgument;
        AXRange r = v.layout->rangeForPosition(Point { point->x - v.origin.x, point->y - v.origin.y });
        const int64_t begin = std::clamp(v.fromLayout(r.location), int64_t { 0 }, v.length);
        const int64_t end = std::clamp(v.fromLayout(r.location + r.length), int64_t { 0 }, v.length);
        out = AXRange { begin, end - begin };
        return AXError::success;
    }
    return AXError::parameterizedAttributeUnsupported;
}

} // namespace lorvantine::SimTextAttributes
