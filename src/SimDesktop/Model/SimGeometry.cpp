#include "SimDesktop/Model/SimGeometry.h"

#include <algorithm>

namespace lorvantine::SimGeometry {

namespace {

const SimTextLayout& layoutAt(SimNode& node, double width)
{
    if (!node.layout || node.layout->width() != width || !(node.layout->font() == node.font))
        node.layout = SimTextLayout::make(node.text.value_or(std::string()), width, node.font);
    return *node.layout;
}

void resolveChildren(SimModel& model, SimNode& parent, double parentWidth, bool parentHasGeometry);

double contentHeight(SimModel& model, SimNode& node, double width, bool hasGeometry)
{
    resolveChildren(model, node, width, hasGeometry);
    double height = 0;
    if (node.text && node.textOwner == 0)
        height = layoutAt(node, width).size().height;
    bool anyChild = false;
    double bottom = 0;
    for (uint64_t id : node.children) {
        const SimNode* child = model.node(id);
        if (!child || child->textOwner != 0 || !child->hasGeometry)
            continue;
        anyChild = true;
        bottom = std::max(bottom, child->localFrame.maxY());
    }
    if (anyChild)
        height = std::max(height, bottom + node.padding);
    return height;
}

void resolveChildren(SimModel& model, SimNode& parent, double parentWidth, bool parentHasGeometry)
{
    double cursor = parent.padding;
    for (uint64_t id : parent.children) {
        SimNode* child = model.node(id);
        if (!child || child->kind != SimNode::Kind::element)
            continue;
        child->frameGeneration = model.geometryGeneration;
        if (child->textOwner != 0) {
            child->hasGeometry = parentHasGeometry;
            continue;
        }
        const bool hasGeometry = parentHasGeometry || child->position.has_value();
        const double width = child->width.value_or(std::max(0.0, parentWidth - 2 * parent.padding));
        const Point origin = child->position.value_or(Point { parent.padding, cursor });
        double height;
        if (child->height) {
            resolveChildren(model, *child, width, hasGeometry);
            height = *child->height;
        } else {
            height = contentHeight(model, *child, width, hasGeometry);
        }
        child->localFrame = Rect(origin, Size { width, height });
        child->hasGeometry = hasGeometry;
        if (!child->position)
            cursor = origin.y + height + parent.spacing;
    }
}

void ensureResolved(SimModel& model, SimNode& node)
{
    if (node.frameGeneration == model.geometryGeneration || node.kind != SimNode::Kind::element)
        return;
    // Resolve from the top: the window, or the element just below the application.
    SimNode* top = &node;
    while (true) {
        SimNode* parent = model.node(top->parent);
        if (!parent || parent->kind != SimNode::Kind::element)
            break;
        top = parent;
    }
    SimNode* holder = model.node(top->parent);
    if (holder && holder->kind == SimNode::Kind::window) {
        if (const SimModel::Window* w = model.window(holder->window)) {
            holder->frameGeneration = model.geometryGeneration;
            resolveChildren(model, *holder, w->frame.width(), true);
            return;
        }
    }
    if (holder)
        resolveChildren(model, *holder, 0, false);
    node.frameGeneration = model.geometryGeneration;
}

std::optional<Point> contentOrigin(SimModel& model, SimNode& node)
{
    if (node.kind == SimNode::Kind::application)
        return Point {};
    auto f = frame(model, node);
    if (!f)
        return Point {};
    return Point { f->origin.x - node.scroll.x, f->origin.y - node.scroll.y };
}

uint64_t deepest(SimModel& model, SimNode& node, Point point)
{
    if (node.imageOnly)
        return node.id;
    for (auto it = node.children.rbegin(); it != node.children.rend(); ++it) {
        SimNode* child = model.node(*it);
        if (!child)
            continue;
        auto f = frame(model, *child);
        if (f && f->contains(point))
            return deepest(model, *child, point);
    }
    return node.id;
}

} // namespace

const SimTextLayout& layout(SimModel& model, SimNode& node)
{
    ensureResolved(model, node);
    double width = node.width.value_or(0);
    if (node.hasGeometry && node.kind == SimNode::Kind::element)
        width = node.localFrame.width();
    return layoutAt(node, width);
}

std::optional<Rect> frame(SimModel& model, SimNode& node)
{
    switch (node.kind) {
    case SimNode::Kind::application:
        return std::nullopt;
    case SimNode::Kind::window:
        if (const SimModel::Window* w = model.window(node.window))
            return w->frame;
        return std::nullopt;
    case SimNode::Kind::element:
        break;
    }
    if (node.textOwner != 0) {
        SimNode* owner = model.node(node.textOwner);
        if (!owner)
            return std::nullopt;
        auto ownerFrame = frame(model, *owner);
        if (!ownerFrame)
            return std::nullopt;
        auto bounds = layout(model, *owner).boundsForRange(node.textSlice);
        if (!bounds)
            return std::nullopt;
        return Rect(ownerFrame->origin.x + bounds->origin.x, ownerFrame->origin.y + bounds->origin.y, bounds->width(),
                    bounds->height());
    }
    ensureResolved(model, node);
    if (!node.hasGeometry)
        return std::nullopt;
    SimNode* parent = model.node(node.parent);
    Point origin = parent ? contentOrigin(model, *parent).value_or(Point {}) : Point {};
    // Scroll bars belong to their scroll area's frame, not to the content it scrolls.
    if (parent && node.role == "AXScrollBar") {
        origin.x += parent->scroll.x;
        origin.y += parent->scroll.y;
    }
    return Rect(origin.x + node.localFrame.origin.x, origin.y + node.localFrame.origin.y, node.localFrame.width(),
                node.localFrame.height());
}

std::optional<Rect> visibleRect(SimModel& model, SimNode& node)
{
    auto visible = frame(model, node);
    if (!visible)
        return std::nullopt;
    for (SimNode* a = model.node(node.parent); a; a = model.node(a->parent)) {
        if (a->kind == SimNode::Kind::window || a->role == "AXScrollArea") {
            if (auto clip = frame(model, *a))
                visible = visible->intersection(*clip);
        }
    }
    return visible;
}

const SimModel::Window* windowAt(SimModel& model, ProcessID pid, Point point)
{
    for (uint32_t number : model.stackingOrder()) {
        const SimModel::Window& w = model.windows.at(number);
        if (w.minimized || w.ignoresMouseEvents || (pid != 0 && w.pid != pid) || !w.frame.contains(point))
            continue;
        if (const SimModel::Application* app = model.application(w.pid); app && app->hidden)
            continue;
        return &w;
    }
    return nullptr;
}

uint64_t hitTest(SimModel& model, ProcessID pid, Point point)
{
    const SimModel::Window* w = windowAt(model, pid, point);
    if (!w)
        return 0;
    SimNode* windowNode = model.node(w->node);
    return windowNode ? deepest(model, *windowNode, point) : 0;
}

} // namespace lorvantine::SimGeometry
