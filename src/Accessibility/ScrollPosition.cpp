#include "Accessibility/ScrollPosition.h"

#include "Accessibility/AXReader.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace lorvantine {

namespace {

// Deep enough for a document view inside split groups and layout areas, shallow enough that a
// window full of toolbars is not walked whole.
constexpr int searchDepth = 6;

std::optional<double> fraction(const AXElement& bar)
{
    auto value = AXReader::value(bar, "AXValue");
    if (!value)
        return std::nullopt;
    if (const double* d = axGet<double>(*value); d && std::isfinite(*d))
        return std::clamp(*d, 0.0, 1.0);
    if (const int64_t* i = axGet<int64_t>(*value))
        return std::clamp(static_cast<double>(*i), 0.0, 1.0);
    return std::nullopt;
}

struct Area {
    AXElement element;
    Rect frame;
};

void collectScrollAreas(const AXElement& element, int depth, std::vector<Area>& out)
{
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (AXReader::attribute(child, "AXRole") == "AXScrollArea") {
            if (auto frame = AXReader::rect(child); frame && !frame->isEmpty())
                out.push_back({ child, *frame });
            continue;
        }
        if (depth < searchDepth)
            collectScrollAreas(child, depth + 1, out);
    }
}

} // namespace

std::optional<ScrollPosition> ScrollPosition::read(const AXElement& window)
{
    std::vector<Area> areas;
    collectScrollAreas(window, 1, areas);
    if (areas.empty())
        return std::nullopt;
    const Area& area = *std::max_element(areas.begin(), areas.end(), [](const Area& a, const Area& b) {
        return a.frame.width() * a.frame.height() < b.frame.width() * b.frame.height();
    });

    std::optional<AXElement> contents;
    if (auto list = AXReader::value(area.element, "AXContents"))
        if (const auto* elements = axGet<std::vector<AXElement>>(*list); elements && !elements->empty())
            contents = elements->front();
    if (!contents)
        return std::nullopt;
    if (auto top = AXReader::position(*contents))
        return ScrollPosition { top->y, area.frame };

    auto barValue = AXReader::value(area.element, "AXVerticalScrollBar");
    const AXElement* bar = barValue ? axGet<AXElement>(*barValue) : nullptr;
    const auto value = bar ? fraction(*bar) : std::nullopt;
    const auto height = AXReader::size(*contents);
    if (!value || !height)
        return std::nullopt;
    const double range = std::max(0.0, height->height - area.frame.height());
    return ScrollPosition { area.frame.minY() - *value * range, area.frame };
}

} // namespace lorvantine
