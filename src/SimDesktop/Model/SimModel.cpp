#include "SimDesktop/Model/SimModel.h"

#include <algorithm>

namespace lorvantine {

SimNode* SimModel::node(uint64_t id)
{
    auto it = nodes.find(id);
    return it == nodes.end() ? nullptr : &it->second;
}

SimNode* SimModel::node(const AXElement& element)
{
    if (element.node == 0) {
        Application* app = element.pid == 0 ? nullptr : application(element.pid);
        return app ? node(app->node) : nullptr;
    }
    SimNode* n = node(element.node);
    return n && n->pid == element.pid ? n : nullptr;
}

AXElement SimModel::handle(const SimNode& n) const
{
    return n.kind == SimNode::Kind::application ? AXElement { n.pid, 0 } : AXElement { n.pid, n.id };
}

AXElement SimModel::handle(uint64_t id) const
{
    auto it = nodes.find(id);
    return it == nodes.end() ? AXElement {} : handle(it->second);
}

SimModel::Application* SimModel::application(ProcessID pid)
{
    auto it = m_applicationIndex.find(pid);
    return it == m_applicationIndex.end() ? nullptr : &applications[it->second];
}

SimModel::Window* SimModel::window(uint32_t number)
{
    auto it = windows.find(number);
    return it == windows.end() ? nullptr : &it->second;
}

SimModel::Application* SimModel::frontmost()
{
    for (auto& app : applications)
        if (app.info.isActive)
            return &app;
    return nullptr;
}

SimModel::Application* SimModel::keyFocus()
{
    if (openMenu)
        if (const Window* menu = window(*openMenu))
            return application(menu->pid);
    return frontmost();
}

std::optional<uint64_t> SimModel::find(const std::string& name) const
{
    auto it = names.find(name);
    if (it == names.end())
        return std::nullopt;
    return it->second;
}

uint64_t SimModel::newNode(SimNode::Kind kind, ProcessID pid, uint64_t parent, uint32_t windowNumber)
{
    const uint64_t id = m_nextNode++;
    SimNode& n = nodes[id];
    n.id = id;
    n.kind = kind;
    n.pid = pid;
    n.parent = parent;
    n.window = windowNumber;
    return id;
}

ProcessID SimModel::addApplication(const SimApplication& given)
{
    ProcessID pid = given.pid;
    if (pid <= 0 || application(pid)) {
        while (application(m_nextPid))
            ++m_nextPid;
        pid = m_nextPid++;
    }
    const uint64_t id = newNode(SimNode::Kind::application, pid, 0, 0);
    SimNode& n = nodes[id];
    n.role = "AXApplication";
    n.attributes = given.attributes;
    n.errors = given.errors;

    Application app;
    app.info.pid = pid;
    app.info.bundleIdentifier = given.bundleIdentifier;
    app.info.localizedName = given.localizedName;
    app.info.executableName = given.executableName;
    app.info.bundlePath = given.bundlePath;
    app.info.bundleVersion = given.bundleVersion;
    app.hidden = given.hidden;
    app.node = id;
    if (given.active)
        for (auto& other : applications)
            other.info.isActive = false;
    app.info.isActive = given.active;
    m_applicationIndex[pid] = applications.size();
    applications.push_back(app);

    if (!given.menuBar.empty()) {
        const uint64_t bar = newNode(SimNode::Kind::element, pid, id, 0);
        nodes[bar].role = "AXMenuBar";
        nodes[id].children.push_back(bar);
        application(pid)->menuBar = bar;
        for (const auto& menu : given.menuBar)
            addMenu(bar, menu, true);
    }
    for (const auto& w : given.windows)
        addWindow(pid, w);
    return pid;
}

void SimModel::addMenu(uint64_t parent, const SimMenuItem& item, bool topLevel)
{
    const ProcessID pid = nodes[parent].pid;
    const uint64_t id = newNode(SimNode::Kind::element, pid, parent, 0);
    nodes[parent].children.push_back(id);
    {
        SimNode& n = nodes[id];
        n.role = topLevel ? "AXMenuBarItem" : "AXMenuItem";
        n.name = item.name;
        if (!item.name.empty())
            names[item.name] = id;
        n.attributes["AXTitle"] = item.title;
        n.attributes["AXEnabled"] = item.enabled;
        if (item.virtualKey)
            n.attributes["AXMenuItemCmdVirtualKey"] = *item.virtualKey;
        if (item.modifiers)
            n.attributes["AXMenuItemCmdModifiers"] = *item.modifiers;
        if (item.commandCharacter)
            n.attributes["AXMenuItemCmdChar"] = *item.commandCharacter;
        for (const auto& [key, value] : item.attributes)
            n.attributes[key] = value;
        n.errors = item.errors;
        n.actions = { "AXPress", "AXCancel" };
    }
    if (item.items.empty())
        return;
    const uint64_t menu = newNode(SimNode::Kind::element, pid, id, 0);
    nodes[menu].role = "AXMenu";
    nodes[id].children.push_back(menu);
    for (const auto& sub : item.items)
        addMenu(menu, sub, false);
}

uint32_t SimModel::addWindow(ProcessID pid, const SimWindow& given)
{
    Application* app = application(pid);
    if (!app)
        return 0;
    uint32_t number = given.number;
    if (number == 0 || windows.count(number)) {
        while (windows.count(m_nextWindow))
            ++m_nextWindow;
        number = m_nextWindow++;
    }
    const uint64_t appNode = app->node;
    const uint64_t id = newNode(SimNode::Kind::window, pid, appNode, number);
    nodes[appNode].children.push_back(id);
    {
        SimNode& n = nodes[id];
        n.role = "AXWindow";
        n.name = given.name;
        if (!given.name.empty())
            names[given.name] = id;
        n.attributes = given.attributes;
        n.errors = given.errors;
        n.actions = { "AXRaise" };
        n.settable = { "AXPosition", "AXSize", "AXMinimized", "AXMain", "AXFocused" };
    }

    Window w;
    w.number = number;
    w.pid = pid;
    w.node = id;
    w.title = given.title;
    w.frame = given.frame;
    w.minimized = given.minimized;
    w.main = given.main;
    w.layer = given.layer;
    w.alpha = given.alpha;
    w.subrole = given.subrole;
    w.background = given.background;
    w.tty = given.tty;
    w.runnersTerminal = given.runnersTerminal;
    if (w.main) {
        if (auto previous = m_mainWindows.find(pid); previous != m_mainWindows.end())
            if (Window* other = window(previous->second); other && other->pid == pid)
                other->main = false;
        m_mainWindows[pid] = number;
    }
    windows[number] = w;

    // A window goes behind every window of a lower or equal order. Fixtures list their windows
    // front to back, so most go behind all the others: no need to look for their place.
    const int64_t order = given.order.value_or(m_nextOrder++);
    m_windowOrder[number] = order;
    auto at = order >= m_highestOrder
        ? zOrder.end()
        : std::find_if(zOrder.begin(), zOrder.end(), [&](uint32_t other) { return m_windowOrder[other] > order; });
    zOrder.insert(at, number);
    m_highestOrder = std::max(m_highestOrder, order);

    for (const auto& child : given.children)
        addElement(id, child);
    invalidateGeometry();
    return number;
}

void SimModel::applyElement(SimNode& n, const SimElement& e)
{
    n.role = e.role;
    n.name = e.name;
    if (!e.name.empty())
        names[e.name] = n.id;
    n.focused = e.focused;
    if (e.focused)
        if (Application* app = application(n.pid))
            app->focusedElement = n.id;
    n.position = e.position;
    n.width = e.width;
    n.height = e.height;
    n.padding = e.padding;
    n.spacing = e.spacing;
    n.scroll = e.scroll;
    n.scrollLine = e.scrollLine;
    n.font = e.font;
    n.imageOnly = e.imageOnly;
    n.selection = e.selection;
    n.selectionHidden = e.selectionHidden;
    n.cjkBoundsEmpty = e.cjkBoundsEmpty;
    n.selectionDrift = e.selectionDrift;
    n.colour = e.colour;
    n.background = e.background;
    n.rules = e.rules;
    n.attributes = e.attributes;
    n.errors = e.errors;
    n.actions = e.actions;
    n.settable = std::set<std::string>(e.settable.begin(), e.settable.end());
    for (const auto& [attribute, reference] : e.references)
        m_references.push_back({ n.id, attribute, reference });
    if (e.text) {
        n.text = e.text;
        n.exposesText = !e.imageOnly;
        n.utf16Length = SimTextLayout::utf16Length(*e.text);
        if (!e.document.empty()) {
            auto& document = documents[e.document];
            if (!document)
                document = std::make_shared<SimPagedDocument>();
            n.document = document;
            n.documentOffset = document->utf16Length;
            document->text += *e.text;
            document->utf16Length += n.utf16Length;
        }
    }
}

namespace {

// A line break is laid out as a line feed that no run element covers.
std::string laidOutRunText(const std::vector<SimElement::Run>& runs)
{
    std::string all;
    for (const auto& run : runs)
        all += run.lineBreak ? std::string("\n") : run.runs.empty() ? run.text : laidOutRunText(run.runs);
    return all;
}

} // namespace

void SimModel::addRuns(uint64_t ownerID, uint64_t parentID, const std::vector<SimElement::Run>& runs, const SimFont& font,
                       int64_t& offset)
{
    const SimNode* parent = node(parentID);
    const ProcessID pid = parent->pid;
    const uint32_t windowNumber = parent->window;
    for (const auto& run : runs) {
        const std::string text = run.lineBreak ? std::string("\n") : run.runs.empty() ? run.text : laidOutRunText(run.runs);
        const int64_t length = SimTextLayout::utf16Length(text);
        if (run.lineBreak) {
            nodes[ownerID].hiddenBreaks.push_back(offset);
            offset += length;
            continue;
        }
        auto makeSlice = [&](uint64_t parentOfSlice, const std::string& role) {
            const uint64_t slice = newNode(SimNode::Kind::element, pid, parentOfSlice, windowNumber);
            nodes[parentOfSlice].children.push_back(slice);
            SimNode& s = nodes[slice];
            s.role = role;
            s.font = font;
            s.text = text;
            s.utf16Length = length;
            s.textOwner = ownerID;
            s.textSlice = AXRange { offset, length };
            return slice;
        };
        uint64_t holder = parentID;
        if (run.link) {
            holder = makeSlice(holder, "AXLink");
            nodes[holder].attributes["AXURL"] = AXURL { *run.link };
            nodes[holder].actions = { "AXPress" };
        }
        if (!run.role.empty())
            holder = makeSlice(holder, run.role);
        if (run.runs.empty()) {
            const uint64_t inner = makeSlice(holder, "AXStaticText");
            nodes[inner].exposesText = true;
            offset += length;
        } else {
            addRuns(ownerID, holder, run.runs, font, offset);
        }
    }
}

uint64_t SimModel::addElement(uint64_t parentID, const SimElement& e)
{
    SimNode* parent = node(parentID);
    if (!parent)
        return 0;
    const ProcessID pid = parent->pid;
    const uint32_t windowNumber = parent->window;
    const uint64_t id = newNode(SimNode::Kind::element, pid, parentID, windowNumber);
    nodes[parentID].children.push_back(id);
    applyElement(nodes[id], e);

    if (!e.runs.empty()) {
        std::string all = laidOutRunText(e.runs);
        SimNode& owner = nodes[id];
        owner.text = all;
        owner.exposesText = false;
        owner.utf16Length = SimTextLayout::utf16Length(all);
        int64_t offset = 0;
        addRuns(id, id, e.runs, e.font, offset);
        owner.utf16Length -= static_cast<int64_t>(nodes[id].hiddenBreaks.size());
    }
    for (const auto& child : e.children)
        addElement(id, child);
    invalidateGeometry();
    resolveReferences();
    return id;
}

void SimModel::resolveReferences()
{
    std::erase_if(m_references, [&](const PendingReference& pending) {
        SimNode* n = node(pending.node);
        if (!n)
            return true;
        std::vector<AXElement> elements;
        for (const auto& name : pending.reference.names) {
            auto id = find(name);
            if (!id)
                return false;
            elements.push_back(handle(*id));
        }
        if (pending.reference.list)
            n->attributes[pending.attribute] = elements;
        else if (!elements.empty())
            n->attributes[pending.attribute] = elements.front();
        return true;
    });
}

void SimModel::eraseSubtree(uint64_t id, bool announce)
{
    SimNode* n = node(id);
    if (!n)
        return;
    const std::vector<uint64_t> children = n->children;
    for (uint64_t child : children)
        eraseSubtree(child, announce);
    n = node(id);
    if (announce)
        post(id, "AXUIElementDestroyed");
    if (!n->name.empty()) {
        auto it = names.find(n->name);
        if (it != names.end() && it->second == id)
            names.erase(it);
    }
    if (Application* app = application(n->pid); app && app->focusedElement == id)
        app->focusedElement = 0;
    nodes.erase(id);
}

void SimModel::removeElement(uint64_t id)
{
    SimNode* n = node(id);
    if (!n || n->kind != SimNode::Kind::element)
        return;
    if (SimNode* parent = node(n->parent))
        std::erase(parent->children, id);
    eraseSubtree(id, true);
    invalidateGeometry();
}

bool SimModel::moveWindow(uint32_t number, Point origin)
{
    Window* w = window(number);
    if (!w)
        return false;
    if (w->frame.origin == origin)
        return true;
    w->frame.origin = origin;
    post(w->node, "AXWindowMoved");
    post(w->node, "AXMoved");
    return true;
}

bool SimModel::resizeWindow(uint32_t number, Size size)
{
    Window* w = window(number);
    if (!w)
        return false;
    if (w->frame.size == size)
        return true;
    w->frame.size = size;
    invalidateGeometry();
    post(w->node, "AXWindowResized");
    post(w->node, "AXResized");
    return true;
}

bool SimModel::setMinimized(uint32_t number, bool minimized)
{
    Window* w = window(number);
    if (!w)
        return false;
    if (w->minimized == minimized)
        return true;
    w->minimized = minimized;
    post(w->node, minimized ? "AXWindowMiniaturized" : "AXWindowDeminiaturized");
    return true;
}

bool SimModel::setWindowTitle(uint32_t number, const std::string& title)
{
    Window* w = window(number);
    if (!w)
        return false;
    if (w->title == title)
        return true;
    w->title = title;
    post(w->node, "AXTitleChanged");
    return true;
}

bool SimModel::raiseWindow(uint32_t number)
{
    Window* w = window(number);
    if (!w)
        return false;
    const ProcessID pid = w->pid;
    const uint32_t previousMain = mainWindow(pid);
    std::erase(zOrder, number);
    // In front of the application's own windows; an application that has no other window puts
    // it in front of every inactive application's windows (in front of all when it is active),
    // not behind everything on screen.
    auto firstOfApp = std::find_if(zOrder.begin(), zOrder.end(), [&](uint32_t other) { return windows[other].pid == pid; });
    if (firstOfApp == zOrder.end())
        firstOfApp = std::find_if(zOrder.begin(), zOrder.end(), [&](uint32_t other) {
            const Application* owner = application(windows[other].pid);
            return !owner || !owner->info.isActive;
        });
    zOrder.insert(firstOfApp, number);
    for (auto& [k, other] : windows)
        if (other.pid == pid)
            other.main = k == number;
    m_mainWindows[pid] = number;
    if (previousMain != number) {
        post(windows[number].node, "AXMainWindowChanged");
        post(windows[number].node, "AXFocusedWindowChanged");
    }
    return true;
}

bool SimModel::closeWindow(uint32_t number)
{
    Window* w = window(number);
    if (!w)
        return false;
    const uint64_t id = w->node;
    if (openMenu == number)
        openMenu.reset();
    std::erase(zOrder, number);
    m_windowOrder.erase(number);
    windows.erase(number);
    if (SimNode* n = node(id))
        if (SimNode* parent = node(n->parent))
            std::erase(parent->children, id);
    eraseSubtree(id, true);
    invalidateGeometry();
    return true;
}

bool SimModel::setFrontmost(ProcessID pid)
{
    Application* app = application(pid);
    if (!app)
        return false;
    app->hidden = false;
    openMenu.reset();
    if (app->info.isActive)
        return true;
    if (Application* previous = frontmost()) {
        previous->info.isActive = false;
        post(previous->node, "AXApplicationDeactivated");
    }
    app = application(pid);
    app->info.isActive = true;
    std::vector<uint32_t> mine, others;
    for (uint32_t number : zOrder)
        (windows[number].pid == pid ? mine : others).push_back(number);
    zOrder = mine;
    zOrder.insert(zOrder.end(), others.begin(), others.end());
    post(app->node, "AXApplicationActivated");
    for (const auto& [id, listener] : activationListeners)
        pendingActivations.emplace_back(id, app->info);
    return true;
}

bool SimModel::terminate(ProcessID pid)
{
    Application* app = application(pid);
    if (!app)
        return false;
    const bool wasActive = app->info.isActive;
    for (uint32_t number : windowsOf(pid))
        closeWindow(number);
    eraseSubtree(application(pid)->node, false);
    std::erase_if(applications, [&](const Application& a) { return a.info.pid == pid; });
    m_applicationIndex.clear();
    for (size_t i = 0; i < applications.size(); ++i)
        m_applicationIndex[applications[i].info.pid] = i;
    if (!wasActive)
        return true;
    for (uint32_t number : stackingOrder()) {
        if (windows.at(number).layer >= 0) {
            setFrontmost(windows.at(number).pid);
            break;
        }
    }
    return true;
}

std::vector<uint32_t> SimModel::windowsOf(ProcessID pid) const
{
    std::vector<uint32_t> result;
    for (uint32_t number : zOrder)
        if (windows.at(number).pid == pid)
            result.push_back(number);
    return result;
}

std::vector<uint32_t> SimModel::stackingOrder() const
{
    std::vector<uint32_t> order = zOrder;
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return windows.at(a).layer > windows.at(b).layer; });
    return order;
}

std::vector<uint32_t> SimModel::accessibleWindows(ProcessID pid) const
{
    std::vector<uint32_t> result;
    for (uint32_t number : stackingOrder())
        if (const Window& w = windows.at(number); w.pid == pid && w.layer >= 0)
            result.push_back(number);
    return result;
}

uint32_t SimModel::mainWindow(ProcessID pid) const
{
    const std::vector<uint32_t> mine = accessibleWindows(pid);
    for (uint32_t number : mine)
        if (windows.at(number).main && !windows.at(number).minimized)
            return number;
    for (uint32_t number : mine)
        if (!windows.at(number).minimized)
            return number;
    return 0;
}

bool SimModel::setText(uint64_t id, const std::string& text)
{
    SimNode* n = node(id);
    if (!n || n->textOwner != 0)
        return false;
    n->text = text;
    n->exposesText = !n->imageOnly;
    n->utf16Length = SimTextLayout::utf16Length(text);
    n->layout.reset();
    invalidateGeometry();
    post(n->id, "AXValueChanged");
    return true;
}

bool SimModel::setScroll(uint64_t id, Point scroll)
{
    SimNode* n = node(id);
    if (!n)
        return false;
    n->scroll = scroll;
    invalidateGeometry();
    return true;
}

void SimModel::post(uint64_t id, const std::string& notification)
{
    SimNode* n = node(id);
    if (!n)
        return;
    const AXElement element = handle(*n);
    const AXElement app { n->pid, 0 };
    for (const auto& [observerID, observer] : observers) {
        if (observer.pid != n->pid)
            continue;
        for (const AXElement& target : { element, app }) {
            if (observer.registrations.count({ target, notification })) {
                pendingNotifications.push_back({ observerID, element, target, notification });
                break;
            }
        }
    }
}

void SimModel::record(SimJournalEntry entry)
{
    journal.add(entry);
    const auto hooks = behaviours;
    for (const auto& behaviour : hooks)
        behaviour->onJournalEntry(*this, entry);
}

} // namespace lorvantine
