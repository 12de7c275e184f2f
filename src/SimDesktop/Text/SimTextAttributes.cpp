#include "SimDesktop/Text/SimTextAttributes.h"

#include "SimDesktop/Model/SimGeometry.h"

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
    if (auto f = SimGeometry::frame(model, *v.owner))
        v.origin = f->origin;
    return v;
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
    const int64_t begin = std::max(lines.location, v.offset);
    const int64_t end = std::min(lines.location + lines.length, v.offset + node.utf16Length);
    if (end <= begin)
        return {};
    return AXRange { begin - v.offset, end - begin };
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
        const AXRange inLayout { v.offset + r->location, r->length };
        if (attribute == "AXBoundsForRange") {
            auto bounds = v.layout->boundsForRange(inLayout);
            if (!bounds)
                return AXError::illegalArgument;
            out = Rect(bounds->origin.x + v.origin.x, bounds->origin.y + v.origin.y, bounds->width(), bounds->height());
            return AXError::success;
        }
        auto string = v.layout->stringForRange(inLayout);
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
        auto line = v.layout->lineForIndex(static_cast<size_t>(v.offset + *index));
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
        const int64_t begin = std::max(range->location, v.offset);
        const int64_t end = std::min(range->location + range->length, v.offset + v.length);
        if (end < begin || (end == begin && *line > 0))
            return AXError::illegalArgument;
        out = AXRange { begin - v.offset, end - begin };
        return AXError::success;
    }
    if (attribute == "AXRangeForPosition") {
        const Point* point = axGet<Point>(parameter);
        if (!point)
            return AXError::illegalArgument;
        AXRange r = v.layout->rangeForPosition(Point { point->x - v.origin.x, point->y - v.origin.y });
        const int64_t begin = std::clamp(r.location, v.offset, v.offset + v.length);
        const int64_t end = std::clamp(r.location + r.length, v.offset, v.offset + v.length);
        out = AXRange { begin - v.offset, end - begin };
        return AXError::success;
    }
    return AXError::parameterizedAttributeUnsupported;
}

} // namespace lorvantine::SimTextAttributes
