#include "SimDesktop/Model/SimScrolling.h"

#include "SimDesktop/Model/SimGeometry.h"

#include <algorithm>

namespace lorvantine::SimScrolling {

namespace {

bool isScrollBar(const SimNode& node) { return node.role == "AXScrollBar"; }

void moveTo(SimModel& model, SimNode& area, double y)
{
    const double r = range(model, area);
    y = std::clamp(y, 0.0, r);
    model.setScroll(area.id, Point { area.scroll.x, y });
    if (SimNode* bar = verticalBar(model, area))
        bar->attributes["AXValue"] = r > 0 ? y / r : 0.0;
}

} // namespace

SimNode* verticalBar(SimModel& model, SimNode& area)
{
    for (uint64_t id : area.children) {
        SimNode* child = model.node(id);
        if (!child || !isScrollBar(*child))
            continue;
        auto it = child->attributes.find("AXOrientation");
        const std::string* orientation = it == child->attributes.end() ? nullptr : axGet<std::string>(it->second);
        if (!orientation || *orientation != "AXHorizontalOrientation")
            return child;
    }
    return nullptr;
}

std::vector<SimNode*> contents(SimModel& model, SimNode& area)
{
    std::vector<SimNode*> out;
    for (uint64_t id : area.children)
        if (SimNode* child = model.node(id); child && !isScrollBar(*child))
            out.push_back(child);
    return out;
}

double range(SimModel& model, SimNode& area)
{
    const auto frame = SimGeometry::frame(model, area);
    if (!frame)
        return 0;
    double bottom = 0;
    for (SimNode* child : contents(model, area))
        if (auto f = SimGeometry::frame(model, *child))
            bottom = std::max(bottom, f->maxY() + area.scroll.y - frame->minY());
    return std::max(0.0, bottom - frame->height());
}

void scrollToFraction(SimModel& model, SimNode& area, double fraction)
{
    moveTo(model, area, std::clamp(fraction, 0.0, 1.0) * range(model, area));
}

void scrollBy(SimModel& model, SimNode& area, double dy)
{
    moveTo(model, area, area.scroll.y + dy);
}

SimNode* areaAt(SimModel& model, Point point)
{
    for (SimNode* n = model.node(SimGeometry::hitTest(model, 0, point)); n; n = model.node(n->parent))
        if (n->kind == SimNode::Kind::element && n->role == "AXScrollArea")
            return n;
    return nullptr;
}

void wheel(SimModel& model, const InputEvent& event)
{
    SimNode* area = areaAt(model, event.location);
    if (!area)
        return;
    const double step = event.scrollUnit == ScrollUnit::line ? area->scrollLine : 1.0;
    scrollBy(model, *area, -event.scrollDeltaY * step);
}

} // namespace lorvantine::SimScrolling
