#include "SimDesktop/Served/SharedWindowHost.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/Backends/RemoteDesktop.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Toolkit/Application.h"
#include "Platform/Toolkit/Window.h"
#include "SimDesktop/Ports/SimAccessibility.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Toolkit/SimWindowHost.h"
#include "Support/Log.h"

#include <algorithm>

namespace lorvantine {

namespace Wire = DesktopWire;
using Json = nlohmann::json;

namespace {

std::string sharedString(AccessibilityPort& ax, const AXElement& element, const char* attribute)
{
    AXValue value;
    if (ax.copyAttributeValue(element, attribute, value) != AXError::success)
        return {};
    const std::string* s = axGet<std::string>(value);
    return s ? *s : std::string();
}

} // namespace

std::shared_ptr<SharedWindowHost> SharedWindowHost::create(std::shared_ptr<SimWindowHost> local, std::shared_ptr<RemoteDesktop> remote,
                                                           std::string& error)
{
    const bool registered = remote->registerApplication({ .pid = local->pid(),
                                                          .bundleIdentifier = Application::bundleIdentifier,
                                                          .localizedName = Application::localizedName,
                                                          .executableName = "lorvantine" });
    if (!registered) {
        error = "the desktop server did not take the program's application";
        return nullptr;
    }
    auto host = std::shared_ptr<SharedWindowHost>(new SharedWindowHost(std::move(local), std::move(remote)));
    std::weak_ptr<SharedWindowHost> weak = host;
    host->m_channel = host->m_remote->openChannel([weak](const Json& message) {
        if (auto self = weak.lock())
            self->receive(message);
    });
    const Json listen = { { "op", "tk.listen" }, { "channel", host->m_channel } };
    auto listening = host->m_remote->call(listen);
    if (!listening || !listening->is_boolean() || !listening->get<bool>()) {
        error = "the desktop server does not send the program's windows their input";
        return nullptr;
    }
    host->m_remote->keep(host->m_channel, "listen", listen);
    // A server met again knows none of the windows: each is shown there anew.
    host->m_remote->onReconnected = [weak] {
        if (auto self = weak.lock())
            self->showAllAgain();
    };
    if (auto screens = host->m_remote->call({ { "op", "ws.screens" } }); screens && screens->is_array() && !screens->empty())
        if (auto primary = Wire::readScreen(screens->front())) {
            const double localHeight = host->m_local->desktop()->withModel(
                [](SimModel& m) { return m.screens.empty() ? 0.0 : m.screens.front().frame.height(); });
            host->m_heightDifference = localHeight - primary->frame.height();
            host->m_pictureScale = std::clamp(primary->backingScaleFactor, 1.0, 4.0);
        }
    return host;
}

SharedWindowHost::SharedWindowHost(std::shared_ptr<SimWindowHost> local, std::shared_ptr<RemoteDesktop> remote)
    : m_local(std::move(local))
    , m_remote(std::move(remote))
    , m_localAccessibility(std::make_shared<SimAccessibility>(m_local->desktop()))
{
}

SharedWindowHost::~SharedWindowHost()
{
    // The windows go with the connection; nothing is sent from here (this may run at exit).
    m_remote->closeChannel(m_channel);
    m_remote->onReconnected = nullptr;
}

// --- WindowHost ---

uint32_t SharedWindowHost::orderFront(Window& window)
{
    const uint32_t number = m_local->orderFront(window);
    m_numbers[&window] = number;
    Pending& p = pending(number);
    p.window = window.weak_from_this();
    p.toFront = true;
    p.content = true;
    schedule();
    return number;
}

void SharedWindowHost::orderOut(Window& window)
{
    m_local->orderOut(window);
    auto it = m_numbers.find(&window);
    if (it == m_numbers.end())
        return;
    Pending& p = pending(it->second);
    p.window.reset();
    m_numbers.erase(it);
    schedule();
}

void SharedWindowHost::windowDidChange(Window& window)
{
    m_local->windowDidChange(window);
    if (auto it = m_numbers.find(&window); it != m_numbers.end()) {
        pending(it->second).window = window.weak_from_this();
        schedule();
    }
}

void SharedWindowHost::contentDidChange(Window& window)
{
    m_local->contentDidChange(window);
    noteContentChanged(window);
}

void SharedWindowHost::displayDidChange(Window& window, const std::vector<Rect>& areas)
{
    m_local->displayDidChange(window, areas);
    noteContentChanged(window);
}

void SharedWindowHost::keyCaptureDidChange(Window* window) { m_local->keyCaptureDidChange(window); }

void SharedWindowHost::noteContentChanged(Window& window)
{
    if (auto it = m_numbers.find(&window); it != m_numbers.end()) {
        Pending& p = pending(it->second);
        p.window = window.weak_from_this();
        p.content = true;
        schedule();
    }
}

SharedWindowHost::Pending& SharedWindowHost::pending(uint32_t number)
{
    for (auto& p : m_pending)
        if (p.number == number)
            return p;
    m_pending.push_back({ number, {}, false, false });
    return m_pending.back();
}

void SharedWindowHost::schedule()
{
    if (m_scheduled)
        return;
    m_scheduled = true;
    DispatchQueue::main().async([weak = weak_from_this()] {
        if (auto self = weak.lock())
            self->publishPending();
    });
}

// --- Publishing ---

void SharedWindowHost::showAllAgain()
{
    m_published.clear();
    std::map<uint32_t, std::weak_ptr<Window>> windows;
    for (const auto& [window, number] : m_numbers)
        windows[number] = const_cast<Window*>(window)->weak_from_this();
    // In the order they were made, the later in front.
    for (const auto& [number, window] : windows) {
        Pending& p = pending(number);
        p.window = window;
        p.toFront = true;
        p.content = true;
    }
    schedule();
}

void SharedWindowHost::publishPending()
{
    m_scheduled = false;
    std::vector<Pending> pending;
    pending.swap(m_pending);
    // The server is gone, and the windows with it.
    if (!m_remote->isConnected())
        return;
    for (const Pending& p : pending) {
        auto window = p.window.lock();
        if (!window || m_local->window(p.number) != window.get()) {
            if (m_published.erase(p.number))
                m_remote->call({ { "op", "tk.remove" }, { "window", p.number } });
            continue;
        }
        SharedWindow shared = describe(*window, p);
        auto shown = m_remote->call({ { "op", "tk.show" }, { "window", shared.toWire() } });
        if (!shown || !shown->is_boolean() || !shown->get<bool>()) {
            Log::line("[Desktop] the desktop server did not show window " + std::to_string(p.number));
            m_published.erase(p.number);
            continue;
        }
        Published& published = m_published[p.number];
        published.size = shared.frame.size;
        if (shared.elements)
            published.elements = std::move(*shared.elements);
    }
}

SharedWindow SharedWindowHost::describe(Window& window, const Pending& pending)
{
    SharedWindow shared;
    shared.number = pending.number;
    shared.frame = window.frame();
    shared.level = window.level();
    shared.alpha = window.alphaValue();
    shared.title = window.title();
    shared.subrole = sharedString(*m_localAccessibility, m_local->element(window), "AXSubrole");
    shared.ignoresMouseEvents = window.ignoresMouseEvents();
    shared.activatesOnClick = SimWindowHost::activatesOnClick(window);
    shared.toFront = pending.toFront;
    auto published = m_published.find(pending.number);
    const bool first = published == m_published.end();
    if (first || pending.content || published->second.size != shared.frame.size)
        shared.picture = picture(window, shared.pictureArea);
    auto elements = elementsOf(window);
    if (first || elements != published->second.elements)
        shared.elements = std::move(elements);
    return shared;
}

// PNG of what the window draws and where, as fine as the served screen shows it; coarser when
// that would not fit in one message (a large window full of detail).
std::optional<std::vector<uint8_t>> SharedWindowHost::picture(const Window& window, Rect& area) const
{
    for (double scale = m_pictureScale; scale >= 0.25; scale /= 2) {
        auto drawn = m_local->drawnContent(window, scale);
        if (!drawn)
            return std::nullopt;
        area = drawn->area;
        if (drawn->image.isEmpty())
            return std::vector<uint8_t> {};
        auto png = drawn->image.encodePNG();
        if (png && png->size() <= maxPictureBytes)
            return png;
    }
    Log::line("[Desktop] the picture of window " + std::to_string(window.windowNumber()) + " is too large to show");
    return std::nullopt;
}

// The window's subtree as the local accessibility model mirrors it, read as any other process
// would read it.
std::vector<SharedWindow::Element> SharedWindowHost::elementsOf(const Window& window) const
{
    AccessibilityPort& ax = *m_localAccessibility;
    std::vector<SharedWindow::Element> elements;
    const AXElement root = m_local->element(window);
    AXValue origin;
    if (ax.copyAttributeValue(root, "AXPosition", origin) != AXError::success || !axGet<Point>(origin))
        return elements;
    const Point windowOrigin = *axGet<Point>(origin);
    std::vector<std::pair<AXElement, int>> stack { { root, -2 } };
    while (!stack.empty()) {
        auto [element, parent] = stack.back();
        stack.pop_back();
        int index = -1;
        if (parent != -2) {
            SharedWindow::Element e;
            e.id = element.node;
            e.parent = parent;
            e.role = sharedString(ax, element, "AXRole");
            e.subrole = sharedString(ax, element, "AXSubrole");
            e.title = sharedString(ax, element, "AXTitle");
            e.description = sharedString(ax, element, "AXDescription");
            AXValue value;
            if (ax.copyAttributeValue(element, "AXValue", value) == AXError::success)
                e.value = value;
            AXValue enabled;
            if (ax.copyAttributeValue(element, "AXEnabled", enabled) == AXError::success && axGet<bool>(enabled))
                e.enabled = *axGet<bool>(enabled);
            AXValue position, size;
            ax.copyAttributeValue(element, "AXPosition", position);
            ax.copyAttributeValue(element, "AXSize", size);
            const Point p = axGet<Point>(position) ? *axGet<Point>(position) : windowOrigin;
            const Size s = axGet<Size>(size) ? *axGet<Size>(size) : Size {};
            e.frame = Rect(p.x - windowOrigin.x, p.y - windowOrigin.y, s.width, s.height);
            ax.copyActionNames(element, e.actions);
            bool settable = false;
            e.valueSettable = ax.isAttributeSettable(element, "AXValue", settable) == AXError::success && settable;
            elements.push_back(std::move(e));
            index = static_cast<int>(elements.size()) - 1;
        }
        AXValue children;
        if (ax.copyAttributeValue(element, "AXChildren", children) != AXError::success)
            continue;
        if (const auto* list = axGet<std::vector<AXElement>>(children))
            for (auto it = list->rbegin(); it != list->rend(); ++it)
                stack.emplace_back(*it, index);
    }
    return elements;
}

// --- What reaches the windows on the shared desktop ---

void SharedWindowHost::receive(const Json& message)
{
    if (const Json* mouse = Wire::member(message, "mouse")) {
        const Json* json = Wire::member(*mouse, "event");
        auto event = json ? Wire::readEvent(*json) : std::nullopt;
        if (!event)
            return;
        std::optional<uint32_t> window;
        if (auto number = Wire::integer(*mouse, "window"); number && *number > 0 && *number <= UINT32_MAX)
            window = static_cast<uint32_t>(*number);
        event->location.y += m_heightDifference;
        m_local->deliverMouse(window, *event);
        return;
    }
    const Json* action = Wire::member(message, "action");
    const Json* setValue = Wire::member(message, "setValue");
    const Json* about = action ? action : setValue;
    auto id = about ? Wire::integer(*about, "element") : std::nullopt;
    if (!id || *id < 0)
        return;
    const AXElement element { m_local->pid(), static_cast<uint64_t>(*id) };
    if (action) {
        const std::string* name = Wire::string(*action, "name");
        if (!name)
            return;
        m_local->deliverAction(element, *name);
    } else {
        const Json* json = Wire::member(*setValue, "value");
        auto value = json ? Wire::readValue(*json) : std::nullopt;
        if (!value)
            return;
        m_local->deliverSetValue(element, *value);
        // The served element shows the value as it was set until it hears the view's, even one
        // it had already.
        for (auto& [number, published] : m_published)
            for (auto& e : published.elements)
                if (e.id == element.node)
                    e.value.reset();
    }
    // The local host mirrors what the view shows now without telling this host.
    for (const auto& [window, number] : m_numbers)
        pending(number).window = const_cast<Window*>(window)->weak_from_this();
    schedule();
}

} // namespace lorvantine
