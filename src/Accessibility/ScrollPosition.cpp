#include "Accessibility/ScrollPosition.h"

#include "Accessibility/AXReader.h"

#include <algorithm>
#include <vector>

namespace lorvantine {

namespace {

// Deep enough for a document view inside split groups and layout areas, shallow enough that a
// window full of toolbars is not walked whole.
constexpr int searchDepth = 6;

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

    const std::vector<AXElement> contents = AXReader::elementList(area.element, "AXContents");
    if (contents.empty())
        return std::nullopt;
    if (auto top = AXReader::position(contents.front()))
        return ScrollPosition { top->y, area.frame };

    const auto bar = AXReader::elementAttribute(area.element, "AXVerticalScrollBar");
    const auto value = bar ? AXReader::number(*bar, "AXValue") : std::nullopt;
    const auto height = AXReader::size(contents.front());
    if (!value || !height)
        return std::nullopt;
    const double range = std::max(0.0, height->height - area.frame.height());
    return ScrollPosition { area.frame.minY() - std::clamp(*value, 0.0, 1.0) * range, area.frame };
}

} // namespace lorvantine
