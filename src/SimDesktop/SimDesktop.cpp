#include "SimDesktop/SimDesktop.h"

#include "Platform/Dispatch/Dispatch.h"
#include "SimDesktop/Behaviours/SimPageDownBehaviour.h"
#include "SimDesktop/Behaviours/SimPageTurnBehaviour.h"
#include "SimDesktop/Behaviours/SimCopiesSelection.h"
#include "SimDesktop/Behaviours/SimDocumentEditing.h"
#include "SimDesktop/Behaviours/SimFollowsLinks.h"
#include "SimDesktop/Model/SimDocuments.h"
#include "SimDesktop/Behaviours/SimSelectsText.h"
#include "SimDesktop/Behaviours/SimTypesText.h"
#include "SimDesktop/Ports/SimAccessibility.h"
#include "SimDesktop/Ports/SimEventMonitor.h"
#include "SimDesktop/Model/SimDemoFixture.h"
#include "SimDesktop/Model/SimFixtureLoader.h"
#include "SimDesktop/Model/SimGeometry.h"
#include "SimDesktop/Ports/SimPasteboard.h"
#include "SimDesktop/Ports/SimPermissions.h"
#include "SimDesktop/Ports/SimProcesses.h"
#include "SimDesktop/Ports/SimWindowCapture.h"
#include "SimDesktop/Ports/SimWindowServer.h"
#include "SimDesktop/Ports/SimWorkspace.h"

#include <cstdlib>

namespace lorvantine {

std::shared_ptr<SimDesktop> SimDesktop::create(const SimFixture& fixture)
{
    std::shared_ptr<SimDesktop> desktop(new SimDesktop);
    SimModel& m = desktop->m_model;
    m.screens = fixture.screens;
    if (m.screens.empty())
        m.screens.push_back(ScreenInfo { Rect(0, 0, 1440, 900), Rect(0, 0, 1440, 875), 2 });
    m.trusted = fixture.trusted;
    m.inputMonitoring = fixture.inputMonitoring;
    m.loginItem = fixture.loginItem;
    m.loginItemChangesFail = fixture.loginItemChangesFail;
    m.pasteboard = fixture.pasteboard;
    if (fixture.mouseLocation)
        m.mouseLocation = *fixture.mouseLocation;
    else
        m.mouseLocation = Point { m.screens[0].frame.midX(), m.screens[0].frame.midY() };
    m.eventTapsAvailable = fixture.eventTapsAvailable;
    m.osVersion = fixture.osVersion;
    // Queued while the lock is held, so that events posted from several threads are heard in the
    // order the desktop took them.
    m.onRoutedEvent = [weak = std::weak_ptr<SimDesktop>(desktop)](SimModel::PendingEvent pending) {
        DispatchQueue::main().async([weak, pending = std::move(pending)] {
            if (auto d = weak.lock())
                d->deliverEvent(pending);
        });
    };
    m.installed = fixture.installed;
    for (const auto& app : fixture.applications)
        desktop->addRunningApplication(m, app);
    desktop->m_captureTool = fixture.captureTool;
    desktop->m_truth->setNoise(fixture.recognitionNoise);
    return desktop;
}

std::shared_ptr<SimDesktop> SimDesktop::demo()
{
    auto fixture = SimFixtureLoader::parse(SimDemoFixture::json, std::string(SimDemoFixture::fileName));
    // The demo is compiled in; a fault in it is a programming error caught by its test.
    if (!fixture)
        return create();
    return create(*fixture);
}

std::shared_ptr<SimDesktop> SimDesktop::load(const std::string& path, std::string& error)
{
    auto fixture = SimFixtureLoader::load(path);
    if (!fixture) {
        error = fixture.error();
        return nullptr;
    }
    error.clear();
    return create(*fixture);
}

std::shared_ptr<SimDesktop> SimDesktop::fromEnvironment(std::string& error)
{
    const char* path = std::getenv("LORVANTINE_DESKTOP");
    if (!path || !*path) {
        error.clear();
        return demo();
    }
    return load(path, error);
}

PlatformServices SimDesktop::services()
{
    auto self = shared_from_this();
    PlatformServices s;
    s.accessibility = std::make_shared<SimAccessibility>(self);
    s.windowServer = std::make_shared<SimWindowServer>(self);
    s.workspace = std::make_shared<SimWorkspace>(self);
    s.pasteboard = std::make_shared<SimPasteboard>(self);
    s.permissions = std::make_shared<SimPermissions>(self);
    s.windowCapture = std::make_shared<SimWindowCapture>(self);
    s.textRecognizer = SimRecognitionTruth::makeRecognizer(m_truth);
    s.eventMonitor = std::make_shared<SimEventMonitor>(self);
    s.processes = std::make_shared<SimProcesses>(self);
    return s;
}

PlatformServices SimDesktop::install() { return Platform::install(services()); }

void SimDesktop::flush(std::unique_lock<std::mutex>& lock)
{
    auto notifications = std::move(m_model.pendingNotifications);
    auto activations = std::move(m_model.pendingActivations);
    auto tapDisables = std::move(m_model.pendingTapDisables);
    m_model.pendingNotifications.clear();
    m_model.pendingActivations.clear();
    m_model.pendingTapDisables.clear();
    lock.unlock();
    if (notifications.empty() && activations.empty() && tapDisables.empty())
        return;
    std::weak_ptr<SimDesktop> weak = weak_from_this();
    for (auto& pending : notifications) {
        DispatchQueue::main().async([weak, pending] {
            if (auto desktop = weak.lock())
                desktop->deliverNotification(pending);
        });
    }
    for (auto& [listener, application] : activations) {
        DispatchQueue::main().async([weak, listener = listener, application = application] {
            if (auto desktop = weak.lock())
                desktop->deliverActivation(listener, application);
        });
    }
    for (auto& [tap, reason] : tapDisables) {
        DispatchQueue::main().async([weak, tap = tap, reason = reason] {
            if (auto desktop = weak.lock())
                desktop->deliverTapDisabled(tap, reason);
        });
    }
}

void SimDesktop::deliverEvent(const SimModel::PendingEvent& pending)
{
    for (uint64_t id : pending.monitors) {
        SimModel::EventMonitor monitor;
        {
            std::lock_guard lock(m_mutex);
            auto it = m_model.eventMonitors.find(id);
            // Removed, or a tap switched off, since the event was posted.
            if (it == m_model.eventMonitors.end() || !it->second.enabled)
                continue;
            monitor = it->second;
        }
        MonitoredEvent event = pending.event;
        if (monitor.kind != SimModel::EventMonitor::Kind::local)
            event.windowNumber = 0;
        if (monitor.onEvent)
            monitor.onEvent(event);
        else if (monitor.onLocalEvent)
            monitor.onLocalEvent(event);
    }
}

void SimDesktop::deliverTapDisabled(uint64_t tap, EventTapDisabledReason reason)
{
    std::function<void(EventTapDisabledReason)> callback;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_model.eventMonitors.find(tap);
        if (it == m_model.eventMonitors.end())
            return;
        callback = it->second.onDisabled;
    }
    if (callback)
        callback(reason);
}

void SimDesktop::deliverNotification(const SimModel::PendingNotification& pending)
{
    AccessibilityPort::ObserverCallback callback;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_model.observers.find(pending.observer);
        if (it == m_model.observers.end())
            return;
        const bool registered = it->second.registrations.count({ pending.registeredOn, pending.name }) > 0;
        // A destroyed element's registrations go with it, yet its last notification still arrives.
        if (!registered && pending.name != "AXUIElementDestroyed")
            return;
        callback = it->second.callback;
    }
    if (callback)
        callback(pending.element, pending.name);
}

void SimDesktop::deliverActivation(uint64_t listener, const RunningApplication& application)
{
    std::function<void(const RunningApplication&)> callback;
    {
        std::lock_guard lock(m_mutex);
        auto it = m_model.activationListeners.find(listener);
        if (it == m_model.activationListeners.end())
            return;
        callback = it->second;
    }
    if (callback)
        callback(application);
}

ProcessID SimDesktop::addApplication(const SimApplication& application)
{
    return withModel([&](SimModel& m) {
        const ProcessID pid = m.addApplication(application);
        addBehaviours(m, pid, application.behaviours);
        return pid;
    });
}

void SimDesktop::addBehaviours(SimModel& model, ProcessID pid, const SimBehaviourOptions& options)
{
    if (pid == 0)
        return;
    if (options.selectsText)
        model.behaviours.push_back(std::make_shared<SimSelectsText>(pid));
    if (options.typesText)
        model.behaviours.push_back(std::make_shared<SimTypesText>(pid));
    if (options.copy)
        model.behaviours.push_back(std::make_shared<SimCopiesSelection>(weak_from_this(), pid, *options.copy));
    if (options.paging)
        addPaging(model, pid, *options.paging);
    if (options.scrolling)
        model.behaviours.push_back(std::make_shared<SimPageDownBehaviour>(pid, *options.scrolling));
}

void SimDesktop::addInstalledBehaviours(SimModel& model, ProcessID pid, const std::string& bundleID)
{
    const SimInstalledApplication* installed = SimDocuments::installed(model, bundleID);
    if (pid == 0 || !installed)
        return;
    const bool browser = !installed->pages.empty() || installed->errorPage;
    if (installed->document || browser)
        model.behaviours.push_back(std::make_shared<SimDocumentEditing>(pid, installed->document));
    if (browser)
        model.behaviours.push_back(std::make_shared<SimFollowsLinks>(pid));
}

ProcessID SimDesktop::launch(SimModel& model, const SimInstalledApplication& installed)
{
    SimApplication application = installed.application;
    application.pid = 0;
    return addRunningApplication(model, application);
}

ProcessID SimDesktop::addRunningApplication(SimModel& model, const SimApplication& application)
{
    const ProcessID pid = model.addApplication(application);
    addBehaviours(model, pid, application.behaviours);
    if (application.bundleIdentifier)
        addInstalledBehaviours(model, pid, *application.bundleIdentifier);
    return pid;
}

uint32_t SimDesktop::addWindow(ProcessID pid, const SimWindow& window)
{
    return withModel([&](SimModel& m) { return m.addWindow(pid, window); });
}

AXElement SimDesktop::addElement(const AXElement& parent, const SimElement& element)
{
    return withModel([&](SimModel& m) {
        SimNode* p = m.node(parent);
        if (!p)
            return AXElement {};
        return m.handle(m.addElement(p->id, element));
    });
}

void SimDesktop::removeElement(const AXElement& element)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            m.removeElement(n->id);
    });
}

void SimDesktop::setAttribute(const AXElement& element, const std::string& attribute, AXValue value)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            n->attributes[attribute] = std::move(value);
    });
}

void SimDesktop::removeAttribute(const AXElement& element, const std::string& attribute)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            n->attributes.erase(attribute);
    });
}

void SimDesktop::setError(const AXElement& element, const std::string& name, AXError error)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            n->errors[name] = error;
    });
}

void SimDesktop::clearError(const AXElement& element, const std::string& name)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            n->errors.erase(name);
    });
}

void SimDesktop::setText(const AXElement& element, const std::string& text)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            m.setText(n->id, text);
    });
}

void SimDesktop::setScroll(const AXElement& element, Point scroll)
{
    withModel([&](SimModel& m) {
        if (SimNode* n = m.node(element))
            m.setScroll(n->id, scroll);
    });
}

void SimDesktop::addPaging(SimModel& m, ProcessID pid, const SimPaging& paging)
{
    // The first page is the one shown at start, drawn and (for a picture-only page) as its value.
    if (!paging.texts.empty())
        if (auto content = m.find(paging.content)) {
            m.setText(*content, paging.texts.front());
            if (SimNode* node = m.node(*content); node && node->attributes.count("AXValue"))
                node->attributes["AXValue"] = paging.texts.front();
        }
    m.behaviours.push_back(std::make_shared<SimPageTurnBehaviour>(weak_from_this(), pid, paging));
}

void SimDesktop::addBehaviour(std::shared_ptr<SimBehaviour> behaviour)
{
    withModel([&](SimModel& m) { m.behaviours.push_back(std::move(behaviour)); });
}

AXElement SimDesktop::element(const std::string& name)
{
    return withModel([&](SimModel& m) {
        auto id = m.find(name);
        return id ? m.handle(*id) : AXElement {};
    });
}

AXElement SimDesktop::windowElement(uint32_t number)
{
    return withModel([&](SimModel& m) {
        const SimModel::Window* w = m.window(number);
        return w ? m.handle(w->node) : AXElement {};
    });
}

std::optional<ProcessID> SimDesktop::pidOf(const std::string& bundleIdentifier)
{
    return withModel([&](SimModel& m) -> std::optional<ProcessID> {
        for (const auto& app : m.applications)
            if (app.info.bundleIdentifier == bundleIdentifier)
                return app.info.pid;
        return std::nullopt;
    });
}

std::vector<uint32_t> SimDesktop::windowNumbers(ProcessID pid)
{
    return withModel([&](SimModel& m) {
        std::vector<uint32_t> out;
        for (uint32_t number : m.zOrder)
            if (m.windows.at(number).pid == pid)
                out.push_back(number);
        return out;
    });
}

std::optional<Rect> SimDesktop::windowFrame(uint32_t number)
{
    return withModel([&](SimModel& m) -> std::optional<Rect> {
        const SimModel::Window* w = m.window(number);
        if (!w)
            return std::nullopt;
        return w->frame;
    });
}

std::optional<Rect> SimDesktop::frameOf(const AXElement& element)
{
    return withModel([&](SimModel& m) -> std::optional<Rect> {
        SimNode* n = m.node(element);
        if (!n)
            return std::nullopt;
        return SimGeometry::frame(m, *n);
    });
}

bool SimDesktop::moveWindow(uint32_t number, Point origin)
{
    return withModel([&](SimModel& m) { return m.moveWindow(number, origin); });
}

bool SimDesktop::resizeWindow(uint32_t number, Size size)
{
    return withModel([&](SimModel& m) { return m.resizeWindow(number, size); });
}

bool SimDesktop::minimizeWindow(uint32_t number, bool minimized)
{
    return withModel([&](SimModel& m) { return m.setMinimized(number, minimized); });
}

bool SimDesktop::setWindowTitle(uint32_t number, const std::string& title)
{
    return withModel([&](SimModel& m) { return m.setWindowTitle(number, title); });
}

bool SimDesktop::raiseWindow(uint32_t number)
{
    return withModel([&](SimModel& m) { return m.raiseWindow(number); });
}

bool SimDesktop::closeWindow(uint32_t number)
{
    return withModel([&](SimModel& m) { return m.closeWindow(number); });
}

bool SimDesktop::setFrontmost(ProcessID pid)
{
    return withModel([&](SimModel& m) { return m.setFrontmost(pid); });
}

bool SimDesktop::terminateApplication(ProcessID pid)
{
    return withModel([&](SimModel& m) { return m.terminate(pid); });
}

void SimDesktop::setMouseLocation(Point topLeft)
{
    withModel([&](SimModel& m) { m.mouseLocation = topLeft; });
}

void SimDesktop::setTrusted(bool trusted)
{
    withModel([&](SimModel& m) { m.trusted = trusted; });
}

void SimDesktop::setInputMonitoring(InputMonitoringAccess access)
{
    withModel([&](SimModel& m) { m.inputMonitoring = access; });
}

void SimDesktop::setEventTapsAvailable(bool available)
{
    withModel([&](SimModel& m) { m.eventTapsAvailable = available; });
}

void SimDesktop::disableEventTaps(EventTapDisabledReason reason)
{
    withModel([&](SimModel& m) {
        for (auto& [id, monitor] : m.eventMonitors) {
            if (monitor.kind != SimModel::EventMonitor::Kind::tap || !monitor.enabled)
                continue;
            monitor.enabled = false;
            m.pendingTapDisables.emplace_back(id, reason);
        }
    });
}

void SimDesktop::setLoginItemStatus(LoginItemStatus status)
{
    withModel([&](SimModel& m) { m.loginItem = status; });
}

void SimDesktop::setLoginItemChangesFail(bool fail)
{
    withModel([&](SimModel& m) { m.loginItemChangesFail = fail; });
}

uint64_t SimDesktop::addExternalLayer(SimExternalLayer layer)
{
    std::lock_guard lock(m_mutex);
    const uint64_t id = m_nextLayer++;
    m_layers[id] = std::move(layer);
    return id;
}

void SimDesktop::removeExternalLayer(uint64_t id)
{
    std::lock_guard lock(m_mutex);
    m_layers.erase(id);
}

std::vector<SimExternalLayer> SimDesktop::externalLayers() const
{
    std::lock_guard lock(m_mutex);
    std::vector<SimExternalLayer> out;
    for (const auto& [id, layer] : m_layers)
        out.push_back(layer);
    return out;
}

void SimDesktop::setCaptureTool(SimCaptureTool tool)
{
    std::lock_guard lock(m_mutex);
    m_captureTool = tool;
}

SimCaptureTool SimDesktop::captureTool() const
{
    std::lock_guard lock(m_mutex);
    return m_captureTool;
}

std::vector<SimJournalEntry> SimDesktop::journal() const
{
    std::lock_guard lock(m_mutex);
    const auto& entries = m_model.journal.entries();
    return std::vector<SimJournalEntry>(entries.begin(), entries.end());
}

void SimDesktop::clearJournal()
{
    std::lock_guard lock(m_mutex);
    m_model.journal.clear();
}

} // namespace lorvantine
