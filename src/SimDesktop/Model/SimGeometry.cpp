#include "SimDesktop/Model/SimGeometry.h"

#include <algorithm>
#include <utility>

namespace lorvantine::SimGeometry {

namespace {

const SimTextLayout& layoutAt(SimNode& node, double width)
{
    if (!node.layout || node.layout->width() != width || !(node.layout->font() == node.font))
        node.layout = SimTextLayout::make(node.text.value_or(std::string()), width, node.font);
    return *node.layout;
}

// What a parent gives the children it lays out: their width (less its padding) and whether
// they are on screen.
struct Room {
    double width = 0;
    bool hasGeometry = false;
};

void ensurePlaced(SimModel& model, SimNode& node);
double heightOf(SimModel& model, SimNode& node);

Room roomIn(SimModel& model, SimNode& parent)
{
    if (parent.kind == SimNode::Kind::element) {
        ensurePlaced(model, parent);
        return { parent.localFrame.width(), parent.hasGeometry };
    }
    if (parent.kind == SimNode::Kind::window)
        if (const SimModel::Window* w = model.window(parent.window))
            return { w->frame.width(), true };
    return {};
}

// Places the next of `parent`'s children: below the stacked one before unless it has a position
// of its own. Only then is the height of that one before needed: placing a child never lays out
// its own content, nor the siblings after it.
void placeNext(SimModel& model, SimNode& parent, const Room& room)
{
    SimNode* child = model.node(parent.children[parent.childrenPlaced++]);
    if (!child || child->kind != SimNode::Kind::element)
        return;
    child->frameGeneration = model.geometryGeneration;
    if (child->textOwner != 0) {
        child->hasGeometry = room.hasGeometry;
        return;
    }
    if (!child->position) {
        if (SimNode* above = model.node(std::exchange(parent.stackedAbove, child->id)))
            parent.childCursor = above->localFrame.minY() + heightOf(model, *above) + parent.spacing;
    }
    const double width = child->width.value_or(std::max(0.0, room.width - 2 * parent.padding));
    const Point origin = child->position.value_or(Point { parent.padding, parent.childCursor });
    child->localFrame = Rect(origin, Size { width, 0 });
    child->hasGeometry = room.hasGeometry || child->position.has_value();
}

// Places `parent`'s children until `done()` holds or all are placed.
template<typename Done> void placeChildren(SimModel& model, SimNode& parent, Done done)
{
    if (parent.childrenGeneration != model.geometryGeneration) {
        parent.childrenGeneration = model.geometryGeneration;
        parent.childrenPlaced = 0;
        parent.childCursor = parent.padding;
        parent.stackedAbove = 0;
    }
    if (done() || parent.childrenPlaced >= parent.children.size())
        return;
    const Room room = roomIn(model, parent);
    while (!done() && parent.childrenPlaced < parent.children.size())
        placeNext(model, parent, room);
}

void ensurePlaced(SimModel& model, SimNode& node)
{
    if (node.frameGeneration == model.geometryGeneration || node.kind != SimNode::Kind::element)
        return;
    if (SimNode* parent = model.node(node.parent))
        placeChildren(model, *parent, [&] { return node.frameGeneration == model.geometryGeneration; });
    // Not among its parent's children: it keeps what it had.
    node.frameGeneration = model.geometryGeneration;
}

// The height of a placed element: its own, else what its text and its children take.
double heightOf(SimModel& model, SimNode& node)
{
    ensurePlaced(model, node);
    if (node.heightGeneration == model.geometryGeneration)
        return node.localFrame.height();
    double height = 0;
    if (node.height) {
        height = *node.height;
    } else {
        placeChildren(model, node, [] { return false; });
        if (node.text && node.textOwner == 0)
            height = layoutAt(node, node.localFrame.width()).size().height;
        bool anyChild = false;
        double bottom = 0;
        for (uint64_t id : node.children) {
            SimNode* child = model.node(id);
            if (!child || child->kind != SimNode::Kind::element || child->textOwner != 0 || !child->hasGeometry)
                continue;
            anyChild = true;
            bottom = std::max(bottom, child->localFrame.minY() + heightOf(model, *child));
        }
        if (anyChild)
            height = std::max(height, bottom + node.padding);
    }
    node.localFrame.size.height = height;
    node.heightGeneration = model.geometryGeneration;
    return height;
}

// Global, top-left; none for an application, a window that is gone or an element off screen.
std::optional<Point> originOf(SimModel& model, SimNode& node);

// Where the content of `node` starts on screen: its origin less how far it is scrolled.
Point contentOrigin(SimModel& model, SimNode& node)
{
    if (node.kind == SimNode::Kind::application)
        return Point {};
    auto origin = originOf(model, node);
    if (!origin)
        return Point {};
    return Point { origin->x - node.scroll.x, origin->y - node.scroll.y };
}

std::optional<Point> originOf(SimModel& model, SimNode& node)
{
    switch (node.kind) {
    case SimNode::Kind::application:
        return std::nullopt;
    case SimNode::Kind::window:
        if (const SimModel::Window* w = model.window(node.window))
            return w->frame.origin;
        return std::nullopt;
    case SimNode::Kind::element:
        break;
    }
    if (node.textOwner != 0) {
        auto f = frame(model, node);
        return f ? std::optional<Point>(f->origin) : std::nullopt;
    }
    ensurePlaced(model, node);
    if (!node.hasGeometry)
        return std::nullopt;
    SimNode* parent = model.node(node.parent);
    Point origin = parent ? contentOrigin(model, *parent) : Point {};
    // Scroll bars belong to their scroll area's frame, not to the content it scrolls.
    if (parent && node.role == "AXScrollBar") {
        origin.x += parent->scroll.x;
        origin.y += parent->scroll.y;
    }
    return Point { origin.x + node.localFrame.origin.x, origin.y + node.localFrame.origin.y };
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
    ensurePlaced(model, node);
    double width = node.width.value_or(0);
    if (node.hasGeometry && node.kind == SimNode::Kind::element)
        width = node.localFrame.width();
    return layoutAt(node, width);
}

std::optional<Rect> frame(SimModel& model, SimNode& node)
{
    if (node.kind == SimNode::Kind::element && node.textOwner != 0) {
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
    auto origin = originOf(model, node);
    if (!origin)
        return std::nullopt;
    if (node.kind == SimNode::Kind::window)
        return model.window(node.window)->frame;
    return Rect(*origin, Size { node.localFrame.width(), heightOf(model, node) });
}

std::optional<Rect> localFrame(SimModel& model, SimNode& node)
{
    if (node.kind != SimNode::Kind::element || node.textOwner != 0)
        return std::nullopt;
    ensurePlaced(model, node);
    if (!node.hasGeometry)
        return std::nullopt;
    return Rect(node.localFrame.origin, Size { node.localFrame.width(), heightOf(model, node) });
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
