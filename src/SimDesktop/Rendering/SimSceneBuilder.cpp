#include "SimDesktop/Rendering/SimSceneBuilder.h"

#include "SimDesktop/Rendering/SimChrome.h"
#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Text/SimTextSelection.h"

#include <algorithm>

namespace lorvantine::SimSceneBuilder {

namespace {

constexpr uint32_t black = 0xFF000000;
constexpr uint32_t linkBlue = 0xFF0B57D0;
constexpr uint32_t selectionBlue = 0xFFB3D7FF;
constexpr int32_t menuBarLevel = 24;

const std::string* stringAttribute(const SimNode& node, const std::string& name)
{
    auto it = node.attributes.find(name);
    return it == node.attributes.end() ? nullptr : axGet<std::string>(it->second);
}

bool isWindowButton(const SimNode& node)
{
    const std::string* subrole = stringAttribute(node, "AXSubrole");
    return subrole
        && (*subrole == "AXCloseButton" || *subrole == "AXMinimizeButton" || *subrole == "AXZoomButton"
            || *subrole == "AXFullScreenButton");
}

void add(std::vector<SimScene::Item>& items, SimScene::Shape shape, const Rect& clip)
{
    items.push_back(SimScene::Item { shape, clip });
}

// A label centred in `area` (a button's title).
void addLabel(std::vector<SimScene::Item>& items, const std::string& label, const SimFont& font, const Rect& area,
              uint32_t colour)
{
    SimFont small = font;
    small.size = std::min(font.size, 13.0);
    SimScene::Text text;
    text.layout = SimTextLayout::make(label, 0, small);
    const Size size = text.layout->size();
    text.origin = Point { area.midX() - size.width / 2, area.midY() - size.height / 2 };
    text.colour = colour;
    items.push_back(SimScene::Item { text, area });
}

// The thumb of a scroll bar, placed by its value (0...1) over the content of its scroll area.
void addScrollThumb(SimModel& model, SimNode& bar, const Rect& frame, const Rect& clip,
                    std::vector<SimScene::Item>& items)
{
    SimNode* area = model.node(bar.parent);
    if (!area)
        return;
    const bool vertical = frame.height() >= frame.width();
    double content = 0;
    for (uint64_t id : area->children) {
        SimNode* child = model.node(id);
        if (!child || child == &bar || child->role == "AXScrollBar")
            continue;
        if (auto local = SimGeometry::localFrame(model, *child))
            content = std::max(content, vertical ? local->maxY() : local->maxX());
    }
    const double visible = vertical ? frame.height() : frame.width();
    if (content <= visible + 0.5 || visible <= 0)
        return;
    double value = 0;
    if (auto it = bar.attributes.find("AXValue"); it != bar.attributes.end()) {
        if (const double* d = axGet<double>(it->second))
            value = *d;
        else if (const int64_t* i = axGet<int64_t>(it->second))
            value = static_cast<double>(*i);
    }
    value = std::clamp(value, 0.0, 1.0);
    const double track = visible - 4;
    const double length = std::max(24.0, track * visible / content);
    const double offset = 2 + value * std::max(0.0, track - length);
    const double thickness = std::min(7.0, (vertical ? frame.width() : frame.height()) - 4);
    Rect thumb = vertical ? Rect(frame.maxX() - thickness - 3, frame.minY() + offset, thickness, length)
                          : Rect(frame.minX() + offset, frame.maxY() - thickness - 3, length, thickness);
    add(items, { .kind = SimScene::Shape::Kind::roundedRectangle, .rect = thumb, .radius = thickness / 2, .fill = 0x80000000 },
        clip);
}

void decorate(SimModel& model, SimNode& node, const Rect& frame, const Rect& clip, uint32_t colour,
              std::vector<SimScene::Item>& items)
{
    using Kind = SimScene::Shape::Kind;
    const std::string& role = node.role;
    if (node.background)
        add(items, { .rect = frame, .fill = *node.background }, clip);
    if (role == "AXTextField" || role == "AXSearchField" || role == "AXComboBox" || role == "AXSecureTextField") {
        add(items, { .kind = Kind::roundedRectangle, .rect = frame.insetBy(0.5, 0.5), .radius = 6,
                     .fill = node.background ? std::nullopt : std::optional<uint32_t>(0xFFFFFFFF), .stroke = 0xFFBDBDBD },
            clip);
    } else if (role == "AXButton" || role == "AXPopUpButton" || role == "AXMenuButton") {
        if (isWindowButton(node))
            return;
        add(items, { .kind = Kind::roundedRectangle, .rect = frame.insetBy(0.5, 0.5), .radius = 5,
                     .fill = node.background ? std::nullopt : std::optional<uint32_t>(0xFFFDFDFD), .stroke = 0xFFC3C3C3 },
            clip);
        const std::string* title = stringAttribute(node, "AXTitle");
        if (title && !title->empty() && !node.text)
            addLabel(items, *title, node.font, frame, colour);
    } else if (role == "AXScrollBar") {
        addScrollThumb(model, node, frame, clip, items);
    } else if (role == "AXImage" && !node.imageOnly && !node.background && !node.text && node.children.empty()) {
        add(items, { .rect = frame, .fill = 0xFFE4E4E4 }, clip);
    }
}

// Links among a paragraph's runs, inline elements' nested ones included, in their colour.
void addLinkSpans(SimModel& model, const SimNode& parent, uint64_t owner, std::vector<SimScene::Text::Span>& spans)
{
    for (uint64_t id : parent.children) {
        const SimNode* run = model.node(id);
        if (!run || run->textOwner != owner)
            continue;
        if (run->role == "AXLink")
            spans.push_back({ run->textSlice, run->colour.value_or(linkBlue) });
        else
            addLinkSpans(model, *run, owner, spans);
    }
}

// The selected text's highlight, one band per line it covers, behind the text.
void addSelection(const SimNode& node, const SimTextLayout& layout, Point origin, const Rect& clip,
                  std::vector<SimScene::Item>& items)
{
    const AXRange selection = SimTextSelection::current(node);
    if (selection.length == 0)
        return;
    const int64_t end = selection.location + selection.length;
    const size_t first = layout.lineForIndex(static_cast<size_t>(selection.location)).value_or(0);
    const size_t last = layout.lineForIndex(static_cast<size_t>(end - 1)).value_or(first);
    for (size_t line = first; line <= last; ++line) {
        auto range = layout.rangeForLine(line);
        if (!range)
            break;
        const int64_t begin = std::max(range->location, selection.location);
        const int64_t stop = std::min(range->location + range->length, end);
        auto bounds = stop > begin ? layout.boundsForRange(AXRange { begin, stop - begin }) : std::nullopt;
        if (!bounds)
            continue;
        SimScene::Shape band;
        band.rect = Rect(origin.x + bounds->minX(), origin.y + bounds->minY(), bounds->width(), bounds->height());
        band.fill = selectionBlue;
        items.push_back(SimScene::Item { band, clip });
    }
}

// A table's rules, from where its rows and their cells were laid out: a line along the top of each
// row and the bottom of the last across its cells; in a grid, a line down each side of every cell
// too. They lie inside the table, in the cells' padding.
void addRules(SimModel& model, const SimNode& table, const Rect& clip, std::vector<SimScene::Item>& items)
{
    const SimRules& rules = *table.rules;
    const double w = rules.width;
    auto rule = [&](const Rect& r) { add(items, { .rect = r, .fill = rules.colour }, clip); };
    std::optional<Rect> lastRow;
    for (uint64_t rowID : table.children) {
        SimNode* row = model.node(rowID);
        const std::optional<Rect> rowFrame = row ? SimGeometry::frame(model, *row) : std::nullopt;
        if (!rowFrame)
            continue;
        std::vector<Rect> cells;
        for (uint64_t cellID : row->children)
            if (SimNode* cell = model.node(cellID))
                if (const std::optional<Rect> cellFrame = SimGeometry::frame(model, *cell))
                    cells.push_back(Rect(cellFrame->minX(), rowFrame->minY(), cellFrame->width(), rowFrame->height()));
        if (cells.empty())
            continue;
        const Rect across(cells.front().minX(), rowFrame->minY(), cells.back().maxX() - cells.front().minX(), rowFrame->height());
        rule(Rect(across.minX(), across.minY(), across.width(), w));
        if (rules.grid) {
            for (const Rect& cell : cells)
                rule(Rect(cell.minX(), cell.minY(), w, cell.height()));
            rule(Rect(across.maxX() - w, across.minY(), w, across.height()));
        }
        lastRow = across;
    }
    if (lastRow)
        rule(Rect(lastRow->minX(), lastRow->maxY() - w, lastRow->width(), w));
}

void addElement(SimModel& model, SimNode& node, uint32_t inheritedColour, std::vector<SimScene::Item>& items)
{
    if (node.kind != SimNode::Kind::element || node.textOwner != 0)
        return;
    const uint32_t colour = node.colour.value_or(inheritedColour);
    const std::optional<Rect> frame = SimGeometry::frame(model, node);
    if (!frame)
        return;
    const std::optional<Rect> visible = SimGeometry::visibleRect(model, node);
    if (visible && !visible->isEmpty()) {
        decorate(model, node, *frame, *visible, colour, items);
        if (node.text) {
            SimGeometry::layout(model, node);
            SimScene::Text text;
            text.layout = node.layout;
            text.origin = frame->origin;
            text.colour = colour;
            addSelection(node, *node.layout, frame->origin, *visible, items);
            addLinkSpans(model, node, node.id, text.spans);
            items.push_back(SimScene::Item { std::move(text), *visible });
        }
    }
    const std::vector<uint64_t> children = node.children;
    for (uint64_t id : children)
        if (SimNode* child = model.node(id))
            addElement(model, *child, colour, items);
    if (node.rules && visible && !visible->isEmpty())
        addRules(model, node, *visible, items);
}

bool onScreen(SimModel& model, const SimModel::Window& w)
{
    const SimModel::Application* app = model.application(w.pid);
    return !w.minimized && app && !app->hidden;
}

SimScene::Window build(SimModel& model, const SimModel::Window& w)
{
    SimScene::Window out;
    out.number = w.number;
    out.layer = w.layer;
    out.frame = w.frame;
    out.alpha = w.alpha;
    if (w.layer < 0) {
        // A desktop element (the Finder's desktop) shows the desktop picture of the primary screen.
        std::vector<Rect> screens = screenAreas(model);
        out.items = SimChrome::desktop(screens.empty() ? w.frame : screens.front(), w.frame);
        return out;
    }
    SimNode* windowNode = model.node(w.node);
    SimChrome::WindowLook look;
    look.frame = w.frame;
    look.title = w.title;
    look.titled = w.subrole == "AXStandardWindow" || w.subrole == "AXDialog";
    look.background = w.background.value_or(0xFFFFFFFF);
    if (const SimModel::Application* front = model.frontmost())
        look.active = front->info.pid == w.pid && model.mainWindow(w.pid) == w.number;
    if (windowNode) {
        for (uint64_t id : windowNode->children) {
            SimNode* child = model.node(id);
            if (!child)
                continue;
            auto f = SimGeometry::frame(model, *child);
            if (!f)
                continue;
            if (child->role == "AXToolbar" && std::abs(f->minY() - w.frame.minY()) < 0.5)
                look.toolbarHeight = f->height();
            const std::string* subrole = stringAttribute(*child, "AXSubrole");
            if (subrole && *subrole == "AXCloseButton" && !look.closeButton)
                look.closeButton = f->origin;
        }
    }
    out.cornerRadius = look.titled ? SimChrome::windowCornerRadius : 0;
    out.shadow = true;
    out.items = SimChrome::window(look);
    if (windowNode) {
        const std::vector<uint64_t> children = windowNode->children;
        for (uint64_t id : children)
            if (SimNode* child = model.node(id))
                addElement(model, *child, black, out.items);
    }
    return out;
}

SimScene::Window menuBar(SimModel& model, const ScreenInfo& screen, const Rect& area)
{
    SimScene::Window bar;
    bar.layer = menuBarLevel;
    const double height = std::clamp(screen.frame.maxY() - screen.visibleFrame.maxY(), 0.0, area.height());
    bar.frame = Rect(area.minX(), area.minY(), area.width(), height);
    std::string name;
    std::vector<std::string> menus;
    if (const SimModel::Application* front = model.frontmost()) {
        name = front->info.localizedName.value_or(std::string());
        if (const SimNode* menuNode = front->menuBar ? model.node(front->menuBar) : nullptr) {
            for (uint64_t id : menuNode->children)
                if (const SimNode* item = model.node(id))
                    if (const std::string* title = stringAttribute(*item, "AXTitle"))
                        menus.push_back(*title);
        }
    }
    bar.items = SimChrome::menuBar(bar.frame, name, menus);
    return bar;
}

} // namespace

std::vector<Rect> screenAreas(const SimModel& model)
{
    std::vector<Rect> out;
    if (model.screens.empty())
        return out;
    const double primaryHeight = model.screens.front().frame.height();
    for (const auto& s : model.screens)
        out.emplace_back(s.frame.minX(), primaryHeight - s.frame.maxY(), s.frame.width(), s.frame.height());
    return out;
}

double backingScale(const SimModel& model, const Rect& frame)
{
    if (model.screens.empty())
        return 1;
    const std::vector<Rect> areas = screenAreas(model);
    const Point centre { frame.midX(), frame.midY() };
    for (size_t i = 0; i < areas.size(); ++i)
        if (areas[i].contains(centre))
            return model.screens[i].backingScaleFactor;
    size_t best = 0;
    double bestArea = 0;
    for (size_t i = 0; i < areas.size(); ++i) {
        const Rect overlap = areas[i].intersection(frame);
        const double a = overlap.width() * overlap.height();
        if (a > bestArea) {
            bestArea = a;
            best = i;
        }
    }
    return model.screens[best].backingScaleFactor;
}

SimScene screen(SimModel& model, const std::vector<SimExternalLayer>& layers)
{
    SimScene scene;
    const std::vector<Rect> areas = screenAreas(model);
    for (const Rect& area : areas) {
        auto items = SimChrome::desktop(area, area);
        scene.desktop.insert(scene.desktop.end(), items.begin(), items.end());
    }

    // Ordered by level; at one level the windows come first (back to front), then the menu bars,
    // then the program's layers as they were added.
    struct Entry {
        int32_t level;
        int rank;
        size_t sequence;
        std::variant<SimScene::Window, SimExternalLayer> what;
    };
    std::vector<Entry> entries;
    std::vector<uint32_t> order = model.stackingOrder();
    std::reverse(order.begin(), order.end());
    for (uint32_t number : order) {
        const SimModel::Window& w = model.windows.at(number);
        if (onScreen(model, w) && !w.drawnExternally)
            entries.push_back({ w.layer, 0, entries.size(), build(model, w) });
    }
    for (size_t i = 0; i < areas.size(); ++i) {
        SimScene::Window bar = menuBar(model, model.screens[i], areas[i]);
        if (bar.frame.height() > 0)
            entries.push_back({ menuBarLevel, 1, entries.size(), std::move(bar) });
    }
    for (const auto& layer : layers)
        if (layer.paint)
            entries.push_back({ layer.level, 2, entries.size(), layer });
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.level != b.level)
            return a.level < b.level;
        if (a.rank != b.rank)
            return a.rank < b.rank;
        return a.sequence < b.sequence;
    });
    for (auto& entry : entries)
        scene.stack.push_back(std::move(entry.what));
    return scene;
}

std::optional<SimScene::Window> window(SimModel& model, uint32_t number)
{
    const SimModel::Window* w = model.window(number);
    if (!w || !onScreen(model, *w) || w->drawnExternally)
        return std::nullopt;
    return build(model, *w);
}

} // namespace lorvantine::SimSceneBuilder
