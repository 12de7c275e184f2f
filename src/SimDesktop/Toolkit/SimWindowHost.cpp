#include "SimDesktop/Toolkit/SimWindowHost.h"

#include "Platform/Toolkit/Application.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Toolkit/Panel.h"
#include "Platform/Toolkit/Popover.h"
#include "Platform/Toolkit/View.h"
#include "Platform/Toolkit/ViewAnimator.h"
#include "Platform/Toolkit/Window.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/CairoPainter.h"
#include "SimDesktop/Toolkit/PangoTextMeasurer.h"
#include "SimDesktop/Toolkit/SimMirroredElement.h"
#include "SimDesktop/Toolkit/SimMirroring.h"
#include "SimDesktop/Toolkit/SimToolkitRouter.h"
#include "SimDesktop/Toolkit/SimWindowPictures.h"

#include <cairo.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace lorvantine {

namespace {

using Surface = std::shared_ptr<cairo_surface_t>;

bool sameView(const std::weak_ptr<View>& a, const std::weak_ptr<View>& b) { return !a.owner_before(b) && !b.owner_before(a); }

// Parts laid over a window's whole drawing, beyond which it is drawn whole again. Animations
// redraw the same few areas over and over, and each new part takes its area out of the older
// ones, so the count stays far below this.
constexpr size_t maxDrawingParts = 96;

const char* pressableRoles[] = { "AXButton", "AXPopUpButton", "AXMenuItem", "AXCheckBox", "AXRadioButton", "AXMenuButton" };

bool isPressable(const std::string& role)
{
    return std::find(std::begin(pressableRoles), std::end(pressableRoles), role) != std::end(pressableRoles);
}

std::string subroleOf(const Window& window)
{
    if (window.isTitled())
        return "AXStandardWindow";
    if (dynamic_cast<const Panel*>(&window))
        return "AXFloatingWindow";
    return "AXUnknown";
}

} // namespace

// What accessibility sees of a view; `id` stays 0 (the view's element is `node`).
struct SimWindowHost::MirrorEntry : SimMirroredElement {
    std::weak_ptr<View> view;
    uint64_t node = 0;

    bool sameContent(const MirrorEntry& o) const
    {
        return static_cast<const SimMirroredElement&>(*this) == static_cast<const SimMirroredElement&>(o);
    }
};

struct SimWindowHost::Shown {
    Window* window = nullptr;
    uint32_t number = 0;
    Rect topLeftFrame;
    SimWindowDrawing drawing;
    std::vector<MirrorEntry> mirror;
};

std::shared_ptr<SimWindowHost> SimWindowHost::create(std::shared_ptr<SimDesktop> desktop)
{
    MainQueue::requireMainThread("SimWindowHost::create");
    const ProcessID wanted = static_cast<ProcessID>(getpid());
    const ProcessID pid = desktop->withModel([&](SimModel& m) {
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == Application::bundleIdentifier)
                return app.info.pid;
        SimApplication app;
        app.pid = wanted;
        app.bundleIdentifier = Application::bundleIdentifier;
        app.localizedName = Application::localizedName;
        app.executableName = "lorvantine";
        return m.addApplication(app);
    });
    auto host = std::shared_ptr<SimWindowHost>(new SimWindowHost(std::move(desktop), pid));
    std::weak_ptr<SimWindowHost> weak = host;
    SimToolkitRouter::Destination destination;
    destination.onMouse = [weak](std::optional<uint32_t> window, const InputEvent& event) {
        if (auto h = weak.lock())
            h->deliverMouse(window, event);
    };
    destination.onKey = [weak](const InputEvent& event) {
        if (auto h = weak.lock())
            h->deliverKey(event);
    };
    destination.onAction = [weak](const AXElement& element, const std::string& action) {
        if (auto h = weak.lock())
            h->deliverAction(element, action);
    };
    destination.onSetValue = [weak](const AXElement& element, const AXValue& value) {
        if (auto h = weak.lock())
            h->deliverSetValue(element, value);
    };
    host->m_router = std::make_shared<SimToolkitRouter>(pid, std::move(destination));
    host->m_desktop->withModel([&](SimModel& m) { m.behaviours.push_back(host->m_router); });
    return host;
}

std::shared_ptr<SimWindowHost> SimWindowHost::install(std::shared_ptr<SimDesktop> desktop)
{
    auto host = create(std::move(desktop));
    WindowHost::install(host);
    TextMeasurer::install(std::make_shared<PangoTextMeasurer>());
    return host;
}

SimWindowHost::SimWindowHost(std::shared_ptr<SimDesktop> desktop, ProcessID pid)
    : m_desktop(desktop)
    , m_pid(pid)
    // A picture of the screen made on the main thread shows the animations as they stand at that
    // moment; one made elsewhere shows them as last drawn.
    , m_pictures(std::make_unique<SimWindowPictures>(std::move(desktop), [] {
        if (RunLoop::isMainThread())
            ViewAnimator::drawFrame();
    }))
{
}

SimWindowHost::~SimWindowHost()
{
    m_pictures.reset();
    m_desktop->withModel([&](SimModel& m) {
        std::erase(m.behaviours, std::static_pointer_cast<SimBehaviour>(m_router));
        for (const auto& s : m_shown)
            m.closeWindow(s->number);
    });
}

SimWindowHost::Shown* SimWindowHost::shown(const Window& window)
{
    for (auto& s : m_shown)
        if (s->window == &window)
            return s.get();
    return nullptr;
}

const SimWindowHost::Shown* SimWindowHost::shown(const Window& window) const
{
    return const_cast<SimWindowHost*>(this)->shown(window);
}

double SimWindowHost::primaryHeight() const
{
    return m_desktop->withModel([](SimModel& m) { return m.screens.empty() ? 0.0 : m.screens.front().frame.height(); });
}

// --- WindowHost ---

uint32_t SimWindowHost::orderFront(Window& window)
{
    Shown* s = shown(window);
    if (!s) {
        auto made = std::make_unique<Shown>();
        made->window = &window;
        made->number = window.windowNumber();
        m_shown.push_back(std::move(made));
    } else {
        auto it = std::find_if(m_shown.begin(), m_shown.end(), [&](const auto& p) { return p.get() == s; });
        std::rotate(it, it + 1, m_shown.end());
    }
    s = m_shown.back().get();
    syncModel(*s, true);
    m_router->setActivatesOnClick(s->number, activatesOnClick(window));
    redraw(*s);
    syncAccessibility(*s);
    publishLayers();
    return s->number;
}

void SimWindowHost::orderOut(Window& window)
{
    auto it = std::find_if(m_shown.begin(), m_shown.end(), [&](const auto& p) { return p->window == &window; });
    if (it == m_shown.end())
        return;
    const uint32_t number = (*it)->number;
    m_shown.erase(it);
    m_router->setActivatesOnClick(number, false);
    m_desktop->withModel([&](SimModel& m) {
        if (const SimModel::Window* w = m.window(number); w && w->pid == m_pid)
            m.closeWindow(number);
    });
    publishLayers();
}

void SimWindowHost::windowDidChange(Window& window)
{
    if (Shown* s = shown(window)) {
        syncModel(*s, false);
        m_router->setActivatesOnClick(s->number, activatesOnClick(window));
        publishLayers();
    }
}

void SimWindowHost::contentDidChange(Window& window)
{
    if (Shown* s = shown(window)) {
        redraw(*s);
        syncAccessibility(*s);
        publishLayers();
    }
}

void SimWindowHost::displayDidChange(Window& window, const std::vector<Rect>& areas)
{
    if (Shown* s = shown(window)) {
        redraw(*s, areas);
        publishLayers();
    }
}

void SimWindowHost::keyCaptureDidChange(Window* window)
{
    const Shown* s = window ? shown(*window) : nullptr;
    m_desktop->withModel([&](SimModel& m) {
        if (s) {
            m.openMenu = s->number;
            return;
        }
        const SimModel::Window* menu = m.openMenu ? m.window(*m.openMenu) : nullptr;
        if (menu && menu->pid == m_pid)
            m.openMenu.reset();
    });
}

// --- The model ---

void SimWindowHost::syncModel(Shown& s, bool toFront)
{
    const Window& window = *s.window;
    const Rect frame = window.frame();
    m_desktop->withModel([&](SimModel& m) {
        const double height = m.screens.empty() ? 0.0 : m.screens.front().frame.height();
        const Rect topLeft(frame.minX(), height - frame.maxY(), frame.width(), frame.height());
        s.topLeftFrame = topLeft;
        SimModel::Window* w = s.number ? m.window(s.number) : nullptr;
        if (!w || w->pid != m_pid) {
            SimWindow added;
            added.number = w ? 0 : s.number;
            added.title = window.title();
            added.frame = topLeft;
            added.layer = window.level();
            added.alpha = window.alphaValue();
            added.subrole = subroleOf(window);
            s.number = m.addWindow(m_pid, added);
            w = m.window(s.number);
            toFront = true;
        } else {
            m.moveWindow(s.number, topLeft.origin);
            m.resizeWindow(s.number, topLeft.size);
            m.setWindowTitle(s.number, window.title());
            w = m.window(s.number);
            w->layer = window.level();
            w->alpha = window.alphaValue();
        }
        w->ignoresMouseEvents = window.ignoresMouseEvents();
        w->drawnExternally = true;
        if (toFront) {
            std::erase(m.zOrder, s.number);
            m.zOrder.insert(m.zOrder.begin(), s.number);
        }
    });
}

void SimWindowHost::syncAccessibility(Shown& s)
{
    const Window& window = *s.window;
    const double windowHeight = window.frame().height();
    std::vector<MirrorEntry> entries;
    std::vector<std::pair<View*, int>> stack;
    // The title bar's close button after the content, as the platform lists a window's children.
    if (View* close = window.closeButton())
        stack.emplace_back(close, -1);
    if (window.contentView())
        stack.emplace_back(window.contentView().get(), -1);
    while (!stack.empty()) {
        auto [view, parent] = stack.back();
        stack.pop_back();
        if (view->isHidden())
            continue;
        int enclosing = parent;
        const std::string role = view->accessibilityRole();
        if (!role.empty()) {
            MirrorEntry e;
            e.view = view->weak_from_this();
            e.parent = parent;
            e.role = role;
            e.subrole = view->accessibilitySubrole();
            e.title = view->accessibilityTitle();
            e.description = view->accessibilityDescription();
            e.value = view->accessibilityTypedValue();
            if (isPressable(role))
                e.actions.push_back("AXPress");
            for (auto& action : view->accessibilityActionNames())
                if (std::find(e.actions.begin(), e.actions.end(), action) == e.actions.end())
                    e.actions.push_back(std::move(action));
            e.valueSettable = view->isAccessibilityValueSettable();
            e.enabled = view->isAccessibilityEnabled();
            const Rect r = view->convertToView(view->bounds(), nullptr);
            e.frame = Rect(r.minX(), windowHeight - r.maxY(), r.width(), r.height());
            entries.push_back(std::move(e));
            enclosing = static_cast<int>(entries.size()) - 1;
        }
        const auto& subviews = view->subviews();
        for (auto it = subviews.rbegin(); it != subviews.rend(); ++it)
            stack.emplace_back(it->get(), enclosing);
    }

    bool sameShape = entries.size() == s.mirror.size();
    for (size_t i = 0; sameShape && i < entries.size(); ++i)
        sameShape = sameView(entries[i].view, s.mirror[i].view) && entries[i].parent == s.mirror[i].parent
            && entries[i].role == s.mirror[i].role;
    if (sameShape) {
        bool same = true;
        for (size_t i = 0; same && i < entries.size(); ++i)
            same = entries[i].sameContent(s.mirror[i]);
        if (same)
            return;
    }

    auto relative = [&](const MirrorEntry& e) {
        const Rect parentFrame = e.parent < 0 ? Rect() : entries[e.parent].frame;
        return Point { e.frame.minX() - parentFrame.minX(), e.frame.minY() - parentFrame.minY() };
    };

    const uint32_t number = s.number;
    const std::vector<MirrorEntry>& old = s.mirror;
    m_desktop->withModel([&](SimModel& m) {
        SimModel::Window* w = m.window(number);
        if (!w || w->pid != m_pid)
            return;
        if (!sameShape) {
            for (const auto& e : old)
                if (e.parent < 0)
                    m.removeElement(e.node);
            for (auto& e : entries)
                e.node = m.addElement(e.parent < 0 ? w->node : entries[e.parent].node, SimMirroring::modelElement(e, relative(e)));
            return;
        }
        for (size_t i = 0; i < entries.size(); ++i) {
            MirrorEntry& e = entries[i];
            e.node = old[i].node;
            if (!e.sameContent(old[i]))
                SimMirroring::update(m, e.node, e, old[i], relative(e), false);
        }
    });
    s.mirror = std::move(entries);
}

// --- Pixels ---

void SimWindowHost::redraw(Shown& s, const std::vector<Rect>& areas)
{
    const Window& window = *s.window;
    const Rect frame = window.frame();
    cairo_rectangle_t extents { 0, 0, frame.width(), frame.height() };
    // Whole points (from the top left), so that the old drawing and the new part meet on pixel
    // edges at any whole scale.
    auto region = std::shared_ptr<cairo_region_t>(cairo_region_create(), cairo_region_destroy);
    for (const Rect& area : areas) {
        const double top = frame.height() - area.maxY();
        cairo_rectangle_int_t r { static_cast<int>(std::floor(area.minX())), static_cast<int>(std::floor(top)), 0, 0 };
        r.width = static_cast<int>(std::ceil(area.maxX())) - r.x;
        r.height = static_cast<int>(std::ceil(top + area.height())) - r.y;
        cairo_region_union_rectangle(region.get(), &r);
    }
    const cairo_rectangle_int_t whole { 0, 0, static_cast<int>(std::ceil(frame.width())), static_cast<int>(std::ceil(frame.height())) };
    cairo_region_intersect_rectangle(region.get(), &whole);
    cairo_rectangle_int_t covered;
    cairo_region_get_extents(region.get(), &covered);
    // For most of the window, or past many parts, a whole drawing serves better.
    const bool partial = !areas.empty() && !s.drawing.isEmpty() && s.drawing.size() == frame.size
        && s.drawing.partCount() < maxDrawingParts && double(covered.width) * covered.height < 0.5 * frame.width() * frame.height();
    if (partial && cairo_region_is_empty(region.get()))
        return;

    cairo_surface_t* surface = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    cairo_t* cr = cairo_create(surface);
    std::vector<Rect> redrawn;
    if (partial) {
        for (int i = 0; i < cairo_region_num_rectangles(region.get()); ++i) {
            cairo_rectangle_int_t r;
            cairo_region_get_rectangle(region.get(), i, &r);
            redrawn.push_back(Rect(r.x, frame.height() - r.y - r.height, r.width, r.height));
        }
    }
    {
        CairoPainter painter(cr, frame.height());
        window.draw(painter, redrawn);
    }
    cairo_destroy(cr);
    Surface drawn(surface, cairo_surface_destroy);
    if (partial)
        s.drawing.layOver(region.get(), std::move(drawn));
    else
        s.drawing = SimWindowDrawing(std::move(drawn), frame.size);
}

void SimWindowHost::publishLayers()
{
    std::vector<SimWindowPictures::Picture> pictures;
    for (const auto& s : m_shown)
        pictures.push_back({ .level = s->window->level(),
                             .frame = s->topLeftFrame,
                             .alpha = s->window->alphaValue(),
                             .drawing = s->drawing,
                             .framed = s->window->isTitled() });
    m_pictures->publish(std::move(pictures));
}

std::optional<Image> SimWindowHost::renderWindow(const Window& window, double scale) const
{
    ViewAnimator::drawFrame();
    const Shown* s = shown(window);
    if (!s)
        return std::nullopt;
    return render(*s, Rect(Point {}, s->topLeftFrame.size), scale, window.alphaValue());
}

std::optional<SimWindowHost::DrawnContent> SimWindowHost::drawnContent(const Window& window, double scale) const
{
    const Shown* s = shown(window);
    if (!s || s->drawing.isEmpty())
        return std::nullopt;
    // Whole points around what was drawn: a full-screen overlay draws a few highlights.
    const Rect drawn = s->drawing.inkExtents();
    const Rect ink = Rect(std::floor(drawn.minX()), std::floor(drawn.minY()), std::ceil(drawn.maxX()) - std::floor(drawn.minX()),
                          std::ceil(drawn.maxY()) - std::floor(drawn.minY()))
                         .intersection(Rect(Point {}, s->topLeftFrame.size));
    if (ink.width() <= 0 || ink.height() <= 0)
        return DrawnContent {};
    auto image = render(*s, ink, scale, 1);
    if (!image)
        return std::nullopt;
    return DrawnContent { std::move(*image), ink };
}

// `area` in the window's points from its top-left corner.
std::optional<Image> SimWindowHost::render(const Shown& s, const Rect& area, double scale, double alpha) const
{
    if (s.drawing.isEmpty())
        return std::nullopt;
    Image image = Image::filled(static_cast<int>(std::lround(area.width() * scale)),
                                static_cast<int>(std::lround(area.height() * scale)), 0);
    if (image.isEmpty())
        return std::nullopt;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(image.pixels.data(), CAIRO_FORMAT_ARGB32, image.width,
                                                                   image.height, image.stride);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    cairo_translate(cr, -area.minX(), -area.minY());
    s.drawing.paint(cr, alpha);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return image;
}

// --- Lookups ---

bool SimWindowHost::activatesOnClick(const Window& window)
{
    const auto* panel = dynamic_cast<const Panel*>(&window);
    return !(panel && panel->isNonactivating());
}

Window* SimWindowHost::window(uint32_t number) const
{
    for (const auto& s : m_shown)
        if (s->number == number)
            return s->window;
    return nullptr;
}

AXElement SimWindowHost::element(const Window& window) const
{
    const Shown* s = shown(window);
    if (!s)
        return {};
    return m_desktop->withModel([&](SimModel& m) {
        const SimModel::Window* w = m.window(s->number);
        return w ? AXElement { m_pid, w->node } : AXElement {};
    });
}

AXElement SimWindowHost::element(const View& view) const
{
    const std::weak_ptr<const View> wanted = view.weak_from_this();
    for (const auto& s : m_shown)
        for (const auto& e : s->mirror)
            if (!e.view.owner_before(wanted) && !wanted.owner_before(e.view))
                return AXElement { m_pid, e.node };
    return {};
}

View* SimWindowHost::view(const AXElement& element) const
{
    if (element.pid != m_pid)
        return nullptr;
    for (const auto& s : m_shown)
        for (const auto& e : s->mirror)
            if (e.node == element.node)
                return e.view.lock().get();
    return nullptr;
}

// --- Input ---

void SimWindowHost::deliverMouse(std::optional<uint32_t> windowNumber, const InputEvent& event)
{
    const double height = primaryHeight();
    const Point screenPoint { event.location.x, height - event.location.y };
    Window* target = Window::mouseCapture();
    if (!target && windowNumber)
        target = window(*windowNumber);
    if (event.type == InputEventType::leftMouseDown || event.type == InputEventType::rightMouseDown)
        Popover::mouseDownOnDesktop(target);

    std::vector<std::weak_ptr<Window>> others;
    for (const auto& s : m_shown)
        if (s->window != target)
            others.push_back(s->window->weak_from_this());
    for (const auto& weak : others)
        if (auto w = weak.lock())
            w->trackPointer(std::nullopt);
    if (!target || !shown(*target))
        return;

    MouseEvent e;
    switch (event.type) {
    case InputEventType::leftMouseDown: e.type = MouseEvent::Type::leftMouseDown; break;
    case InputEventType::leftMouseUp: e.type = MouseEvent::Type::leftMouseUp; break;
    case InputEventType::leftMouseDragged: e.type = MouseEvent::Type::leftMouseDragged; break;
    case InputEventType::rightMouseDown: e.type = MouseEvent::Type::rightMouseDown; break;
    case InputEventType::rightMouseUp: e.type = MouseEvent::Type::rightMouseUp; break;
    default: e.type = MouseEvent::Type::mouseMoved; break;
    }
    e.locationInWindow = target->convertPointFromScreen(screenPoint);
    e.clickCount = event.clickCount;
    e.modifierFlags = event.flags;
    auto keep = target->weak_from_this().lock();
    target->sendEvent(e);
}

void SimWindowHost::deliverKey(const InputEvent& event)
{
    Window* target = Window::keyCapture() ? Window::keyCapture() : Window::keyWindow();
    if (!target || !shown(*target))
        return;
    KeyEvent key;
    key.type = event.type == InputEventType::keyDown ? KeyEvent::Type::keyDown : KeyEvent::Type::keyUp;
    key.keyCode = event.keyCode;
    key.modifierFlags = event.flags;
    key.characters = event.characters;
    auto keep = target->weak_from_this().lock();
    target->sendKeyEvent(key);
}

void SimWindowHost::deliverAction(const AXElement& element, const std::string& action)
{
    View* v = view(element);
    if (!v)
        return;
    auto keep = v->weak_from_this().lock();
    v->accessibilityPerformAction(action);
}

void SimWindowHost::deliverSetValue(const AXElement& element, const AXValue& value)
{
    View* v = view(element);
    if (!v)
        return;
    auto keep = v->weak_from_this().lock();
    v->accessibilitySetValue(value);
    // The element took the value as it was set; show the view's own again, whether it took it,
    // changed it (a slider keeps to its range) or refused it.
    for (auto& s : m_shown)
        for (auto& e : s->mirror)
            if (e.node == element.node) {
                e.value = AXValue {};
                if (s->window->isVisible())
                    syncAccessibility(*s);
                return;
            }
}

} // namespace lorvantine
