#include "SimDesktop/Served/ClientWindows.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Image.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/SimMirroring.h"
#include "SimDesktop/Toolkit/SimToolkitRouter.h"
#include "SimDesktop/Toolkit/SimWindowPictures.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>

namespace lorvantine {

namespace Wire = DesktopWire;
using Json = nlohmann::json;

namespace {

// A client draws its windows at up to this many pixels per point.
constexpr double clientPictureMaxScale = 4;

std::shared_ptr<cairo_surface_t> clientSurface(const Image& image)
{
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(surface);
        return nullptr;
    }
    cairo_surface_flush(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    uint8_t* data = cairo_image_surface_get_data(surface);
    for (int y = 0; y < image.height; ++y)
        std::memcpy(data + static_cast<size_t>(y) * stride, image.pixels.data() + static_cast<size_t>(y) * image.stride,
                    static_cast<size_t>(image.width) * 4);
    cairo_surface_mark_dirty(surface);
    return std::shared_ptr<cairo_surface_t>(surface, cairo_surface_destroy);
}

} // namespace

struct ClientWindows::Shown {
    uint32_t clientNumber = 0;
    uint32_t number = 0; // the desktop's
    Rect topLeftFrame;
    int32_t level = 0;
    double alpha = 1;
    std::shared_ptr<cairo_surface_t> picture;
    double scale = 1;
    Point pictureOffset;
    bool activates = true;
    bool titled = false;
    std::vector<SharedWindow::Element> elements;
    std::vector<uint64_t> nodes; // the desktop's node of each element
};

// What the router's callbacks translate with, on the main queue.
struct ClientWindows::Routes {
    std::mutex mutex;
    Push push;
    std::map<uint32_t, uint32_t> clientNumbers;   // the desktop's window → the client's
    std::map<uint64_t, uint64_t> clientElements;  // the desktop's node → the client's element
    // Nodes whose "AXValue" another process set: they show that until the client's next word.
    std::set<uint64_t> valuesSet;

    void send(Json message)
    {
        Push to;
        {
            std::lock_guard lock(mutex);
            to = push;
        }
        if (to)
            to(std::move(message));
    }
    std::optional<uint64_t> clientElement(const AXElement& element)
    {
        std::lock_guard lock(mutex);
        auto it = clientElements.find(element.node);
        return it == clientElements.end() ? std::nullopt : std::optional<uint64_t>(it->second);
    }
};

ClientWindows::ClientWindows(std::shared_ptr<SimDesktop> desktop, ProcessID pid)
    : m_desktop(desktop)
    , m_pid(pid)
    , m_pictures(std::make_unique<SimWindowPictures>(std::move(desktop)))
    , m_routes(std::make_shared<Routes>())
{
}

ClientWindows::~ClientWindows()
{
    {
        std::lock_guard lock(m_routes->mutex);
        m_routes->push = nullptr;
    }
    m_pictures.reset();
    m_desktop->withModel([&](SimModel& m) {
        if (m_router)
            std::erase(m.behaviours, std::static_pointer_cast<SimBehaviour>(m_router));
        for (const auto& s : m_shown)
            if (const SimModel::Window* w = m.window(s->number); w && w->pid == m_pid)
                m.closeWindow(s->number);
    });
}

bool ClientWindows::listen(Push push)
{
    std::lock_guard lock(m_lock);
    if (m_router)
        return false;
    {
        std::lock_guard routesLock(m_routes->mutex);
        m_routes->push = std::move(push);
    }
    std::weak_ptr<Routes> weak = m_routes;
    SimToolkitRouter::Destination destination;
    destination.onMouse = [weak](std::optional<uint32_t> window, const InputEvent& event) {
        auto routes = weak.lock();
        if (!routes)
            return;
        Json target = nullptr;
        {
            std::lock_guard routesLock(routes->mutex);
            if (window)
                if (auto it = routes->clientNumbers.find(*window); it != routes->clientNumbers.end())
                    target = it->second;
            // Pointer moves far from every window of the client tell it nothing.
            if (routes->clientNumbers.empty())
                return;
        }
        routes->send({ { "mouse", { { "window", target }, { "event", Wire::event(event) } } } });
    };
    destination.onAction = [weak](const AXElement& element, const std::string& action) {
        if (auto routes = weak.lock())
            if (auto id = routes->clientElement(element))
                routes->send({ { "action", { { "element", *id }, { "name", action } } } });
    };
    destination.onSetValue = [weak](const AXElement& element, const AXValue& value) {
        auto routes = weak.lock();
        auto id = routes ? routes->clientElement(element) : std::nullopt;
        if (!id)
            return;
        {
            std::lock_guard routesLock(routes->mutex);
            routes->valuesSet.insert(element.node);
        }
        routes->send({ { "setValue", { { "element", *id }, { "value", Wire::value(value) } } } });
    };
    m_router = std::make_shared<SimToolkitRouter>(m_pid, std::move(destination));
    for (const auto& s : m_shown)
        m_router->setActivatesOnClick(s->number, s->activates);
    m_desktop->withModel([&](SimModel& m) { m.behaviours.push_back(m_router); });
    return true;
}

bool ClientWindows::show(const SharedWindow& window)
{
    std::shared_ptr<cairo_surface_t> picture;
    double scale = 1;
    const Rect& area = window.pictureArea;
    if (window.picture && !window.picture->empty()) {
        const double maxPixels = std::ceil(area.width() * clientPictureMaxScale + 1) * std::ceil(area.height() * clientPictureMaxScale + 1);
        auto image = Image::decodePNG(*window.picture, static_cast<int64_t>(maxPixels));
        if (!image || area.width() <= 0)
            return false;
        scale = image->width / area.width();
        picture = clientSurface(*image);
        if (!picture)
            return false;
    }

    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_shown.begin(), m_shown.end(), [&](const auto& s) { return s->clientNumber == window.number; });
    Shown* s = it == m_shown.end() ? nullptr : it->get();
    bool toFront = window.toFront;
    const bool shown = m_desktop->withModel([&](SimModel& m) {
        if (!m.application(m_pid))
            return false;
        const double height = m.screens.empty() ? 0.0 : m.screens.front().frame.height();
        const Rect f = window.frame;
        const Rect topLeft(f.minX(), height - f.maxY(), f.width(), f.height());
        SimModel::Window* w = s ? m.window(s->number) : nullptr;
        if (!w || w->pid != m_pid) {
            SimWindow added;
            added.number = window.number;
            added.title = window.title;
            added.frame = topLeft;
            added.layer = window.level;
            added.alpha = window.alpha;
            added.subrole = window.subrole.empty() ? "AXUnknown" : window.subrole;
            const uint32_t number = m.addWindow(m_pid, added);
            if (number == 0)
                return false;
            if (!s) {
                m_shown.push_back(std::make_unique<Shown>());
                s = m_shown.back().get();
                s->clientNumber = window.number;
            }
            s->number = number;
            s->elements.clear();
            s->nodes.clear();
            w = m.window(number);
            toFront = true;
        } else {
            m.moveWindow(s->number, topLeft.origin);
            m.resizeWindow(s->number, topLeft.size);
            m.setWindowTitle(s->number, window.title);
            w = m.window(s->number);
            w->layer = window.level;
            w->alpha = window.alpha;
        }
        w->ignoresMouseEvents = window.ignoresMouseEvents;
        w->drawnExternally = true;
        if (toFront) {
            std::erase(m.zOrder, s->number);
            m.zOrder.insert(m.zOrder.begin(), s->number);
        }
        s->topLeftFrame = topLeft;
        s->level = window.level;
        s->alpha = window.alpha;
        if (window.elements)
            syncElements(m, *s, *window.elements);
        return true;
    });
    if (!shown)
        return false;
    if (window.picture) {
        s->picture = std::move(picture);
        s->scale = scale;
        s->pictureOffset = area.origin;
    }
    if (toFront) {
        auto at = std::find_if(m_shown.begin(), m_shown.end(), [&](const auto& p) { return p.get() == s; });
        std::rotate(at, at + 1, m_shown.end());
    }
    s->activates = window.activatesOnClick;
    // A titled window of the client is drawn with the window server's frame, as its own windows are.
    s->titled = window.subrole == "AXStandardWindow";
    if (m_router)
        m_router->setActivatesOnClick(s->number, s->activates);
    {
        std::lock_guard routesLock(m_routes->mutex);
        m_routes->clientNumbers[s->number] = s->clientNumber;
    }
    publishPictures();
    return true;
}

bool ClientWindows::remove(uint32_t number)
{
    std::lock_guard lock(m_lock);
    auto it = std::find_if(m_shown.begin(), m_shown.end(), [&](const auto& s) { return s->clientNumber == number; });
    if (it == m_shown.end())
        return false;
    std::unique_ptr<Shown> s = std::move(*it);
    m_shown.erase(it);
    if (m_router)
        m_router->setActivatesOnClick(s->number, false);
    {
        std::lock_guard routesLock(m_routes->mutex);
        m_routes->clientNumbers.erase(s->number);
        for (uint64_t node : s->nodes)
            m_routes->clientElements.erase(node);
    }
    m_desktop->withModel([&](SimModel& m) {
        if (const SimModel::Window* w = m.window(s->number); w && w->pid == m_pid)
            m.closeWindow(s->number);
    });
    publishPictures();
    return true;
}

// The same elements as before are updated in place (handles others hold stay good, with the
// notifications of what changed); otherwise the window's elements are made anew.
void ClientWindows::syncElements(SimModel& m, Shown& s, std::vector<SharedWindow::Element> elements)
{
    const SimModel::Window* w = m.window(s.number);
    if (!w)
        return;
    bool sameShape = elements.size() == s.elements.size();
    for (size_t i = 0; sameShape && i < elements.size(); ++i)
        sameShape = elements[i].id == s.elements[i].id && elements[i].parent == s.elements[i].parent
            && elements[i].role == s.elements[i].role;
    auto relative = [&](const SharedWindow::Element& e) {
        const Rect parent = e.parent < 0 ? Rect() : elements[static_cast<size_t>(e.parent)].frame;
        return Point { e.frame.minX() - parent.minX(), e.frame.minY() - parent.minY() };
    };
    std::vector<uint64_t> nodes;
    if (!sameShape) {
        for (size_t i = 0; i < s.elements.size(); ++i)
            if (s.elements[i].parent < 0)
                m.removeElement(s.nodes[i]);
        for (const auto& e : elements)
            nodes.push_back(m.addElement(e.parent < 0 ? w->node : nodes[static_cast<size_t>(e.parent)],
                                         SimMirroring::modelElement(e, relative(e))));
    } else {
        nodes = s.nodes;
        std::set<uint64_t> valuesSet;
        {
            std::lock_guard routesLock(m_routes->mutex);
            valuesSet.swap(m_routes->valuesSet);
        }
        for (size_t i = 0; i < elements.size(); ++i) {
            const SharedWindow::Element& e = elements[i];
            const SharedWindow::Element& old = s.elements[i];
            const bool valueSet = valuesSet.count(nodes[i]) > 0;
            if (e != old || valueSet)
                SimMirroring::update(m, nodes[i], e, old, relative(e), valueSet);
        }
    }
    std::lock_guard routesLock(m_routes->mutex);
    for (uint64_t node : s.nodes)
        m_routes->clientElements.erase(node);
    for (size_t i = 0; i < nodes.size(); ++i)
        m_routes->clientElements[nodes[i]] = elements[i].id;
    s.nodes = std::move(nodes);
    s.elements = std::move(elements);
}

void ClientWindows::publishPictures()
{
    std::vector<SimWindowPictures::Picture> pictures;
    for (const auto& s : m_shown)
        pictures.push_back({ s->level, s->topLeftFrame, s->alpha, s->picture, s->scale, s->pictureOffset, s->titled });
    m_pictures->publish(std::move(pictures));
}

} // namespace lorvantine
