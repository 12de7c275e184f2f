#include "SimDesktop/Served/DesktopSession.h"

#include "Platform/Backends/DesktopWire.h"
#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/ProcessPort.h"
#include "Platform/WindowCapturePort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Ports/SimEventMonitor.h"
#include "SimDesktop/Served/ClientWindows.h"
#include "SimDesktop/SimDesktop.h"

namespace lorvantine {

namespace Wire = DesktopWire;
using Json = nlohmann::json;

namespace {

// Thrown by nothing: a request whose arguments do not read makes the handler answer none.
struct SessionArgs {
    const Json& request;
    bool ok = true;

    // A port value under `key`, read by one of DesktopWire's `read…`.
    template <class T>
    T decoded(const char* key, std::optional<T> (*read)(const Json&))
    {
        const Json* m = Wire::member(request, key);
        auto v = m ? read(*m) : std::nullopt;
        ok = ok && v;
        return v.value_or(T {});
    }
    AXElement element(const char* key = "element") { return decoded(key, Wire::readElement); }
    std::string text(const char* key)
    {
        const std::string* s = Wire::string(request, key);
        ok = ok && s;
        return s ? *s : std::string();
    }
    int64_t integer(const char* key, int64_t min, int64_t max)
    {
        auto i = Wire::integer(request, key);
        ok = ok && i && *i >= min && *i <= max;
        return ok ? *i : 0;
    }
    double number(const char* key)
    {
        auto n = Wire::number(request, key);
        ok = ok && n;
        return n.value_or(0);
    }
    bool flag(const char* key)
    {
        auto b = Wire::boolean(request, key);
        ok = ok && b;
        return b.value_or(false);
    }
    AXValue value(const char* key) { return decoded(key, Wire::readValue); }
    InputEvent event() { return decoded("event", Wire::readEvent); }
    uint64_t channel() { return static_cast<uint64_t>(integer("channel", 1, INT64_MAX)); }
    ProcessID pid() { return static_cast<ProcessID>(integer("pid", INT32_MIN, INT32_MAX)); }
};

// The answer to a request that names no known operation or whose arguments do not read: it ends
// the connection.
DesktopSession::Answer sessionRefusal(int64_t id, const std::string& op)
{
    return { { { "id", id }, { "error", "unknown request or bad arguments: " + op } }, true };
}

Json sessionCode(AXError code) { return { { "code", static_cast<int32_t>(code) } }; }

Json sessionCode(AXError code, Json value)
{
    Json out = sessionCode(code);
    if (code == AXError::success)
        out["value"] = std::move(value);
    return out;
}

} // namespace

DesktopSession::DesktopSession(std::shared_ptr<SimDesktop> desktop, PlatformServices services, Sender send)
    : m_desktop(std::move(desktop))
    , m_services(std::move(services))
    , m_send(std::move(send))
{
}

DesktopSession::~DesktopSession() { end(); }

void DesktopSession::end()
{
    std::map<uint64_t, AXObserverID> observers;
    std::map<uint64_t, std::shared_ptr<void>> watches;
    std::map<uint64_t, uint64_t> monitors;
    std::optional<ProcessID> application;
    std::shared_ptr<ClientWindows> windows;
    {
        std::lock_guard lock(m_lock);
        if (m_ended)
            return;
        m_ended = true;
        windows.swap(m_windows);
        observers.swap(m_observers);
        watches.swap(m_activationWatches);
        monitors.swap(m_monitors);
        application = m_application;
    }
    for (const auto& [channel, observer] : observers)
        m_services.accessibility->destroyObserver(observer);
    SimEventMonitor eventMonitor(m_desktop, application.value_or(-1));
    for (const auto& [channel, monitor] : monitors) {
        eventMonitor.removeMonitor(monitor);
        eventMonitor.removeTap(monitor);
    }
    watches.clear();
    windows.reset();
    if (application)
        m_desktop->terminateApplication(*application);
    joinRuns(true);
}

void DesktopSession::push(uint64_t channel, Json message)
{
    message["push"] = channel;
    // Held while sending, so that once `end` has returned nothing more goes out.
    std::lock_guard lock(m_lock);
    if (!m_ended)
        m_send(message);
}

std::function<void(DesktopSession::Json)> DesktopSession::pusher(uint64_t channel)
{
    std::weak_ptr<DesktopSession> weak = weak_from_this();
    return [weak, channel](Json message) {
        if (auto self = weak.lock())
            self->push(channel, std::move(message));
    };
}

DesktopSession::Answer DesktopSession::answer(const Json& request)
{
    auto id = Wire::integer(request, "id");
    const std::string* op = Wire::string(request, "op");
    if (!id || *id < 0 || !op)
        return { { { "error", "a request needs an \"id\" and an \"op\"" } }, true };
    if (*op == "pr.run")
        return runProcess(*id, request);
    if (*op == "wk.script")
        return runScript(*id, request);
    std::optional<Json> result;
    if (op->starts_with("ax."))
        result = accessibility(*op, request);
    else if (op->starts_with("ws."))
        result = windowServer(*op, request);
    else if (op->starts_with("wk."))
        result = workspace(*op, request);
    else if (op->starts_with("em."))
        result = eventMonitors(*op, request);
    else
        result = op->starts_with("pb.") || op->starts_with("pm.") ? pasteboardOrPermissions(*op, request)
                                                                   : session(*op, request);
    if (!result)
        return sessionRefusal(*id, *op);
    return { { { "id", *id }, { "ok", std::move(*result) } }, false };
}

std::optional<Json> DesktopSession::accessibility(const std::string& op, const Json& request)
{
    AccessibilityPort& ax = *m_services.accessibility;
    SessionArgs args { request };
    std::optional<Json> out;
    if (op == "ax.application") {
        ProcessID pid = args.pid();
        if (args.ok)
            out = Wire::element(ax.applicationElement(pid));
    } else if (op == "ax.systemWide") {
        out = Wire::element(ax.systemWideElement());
    } else if (op == "ax.pid") {
        AXElement e = args.element();
        ProcessID pid = 0;
        if (args.ok) {
            AXError code = ax.pid(e, pid);
            out = sessionCode(code, pid);
        }
    } else if (op == "ax.copy" || op == "ax.copyParameterized") {
        AXElement e = args.element();
        std::string name = args.text("name");
        AXValue parameter = op == "ax.copy" ? AXValue {} : args.value("parameter");
        if (args.ok) {
            AXValue value;
            AXError code = op == "ax.copy" ? ax.copyAttributeValue(e, name, value)
                                           : ax.copyParameterizedAttributeValue(e, name, parameter, value);
            out = sessionCode(code, Wire::value(value));
        }
    } else if (op == "ax.names" || op == "ax.parameterizedNames" || op == "ax.actions") {
        AXElement e = args.element();
        if (args.ok) {
            std::vector<std::string> names;
            AXError code = op == "ax.names"             ? ax.copyAttributeNames(e, names)
                : op == "ax.parameterizedNames" ? ax.copyParameterizedAttributeNames(e, names)
                                                : ax.copyActionNames(e, names);
            out = sessionCode(code, Wire::strings(names));
        }
    } else if (op == "ax.set") {
        AXElement e = args.element();
        std::string name = args.text("name");
        AXValue value = args.value("value");
        if (args.ok)
            out = sessionCode(ax.setAttributeValue(e, name, value));
    } else if (op == "ax.settable") {
        AXElement e = args.element();
        std::string name = args.text("name");
        if (args.ok) {
            bool settable = false;
            AXError code = ax.isAttributeSettable(e, name, settable);
            out = sessionCode(code, settable);
        }
    } else if (op == "ax.perform") {
        AXElement e = args.element();
        std::string name = args.text("name");
        if (args.ok)
            out = sessionCode(ax.performAction(e, name));
    } else if (op == "ax.at") {
        AXElement e = args.element();
        double x = args.number("x"), y = args.number("y");
        if (args.ok) {
            AXElement found;
            AXError code = ax.elementAtPosition(e, static_cast<float>(x), static_cast<float>(y), found);
            out = sessionCode(code, Wire::element(found));
        }
    } else if (op == "ax.timeout") {
        AXElement e = args.element();
        double seconds = args.number("seconds");
        if (args.ok)
            out = sessionCode(ax.setMessagingTimeout(e, static_cast<float>(seconds)));
    } else if (op == "ax.trusted") {
        bool prompt = args.flag("prompt");
        if (args.ok)
            out = ax.isProcessTrusted(prompt ? AccessibilityPort::Prompt::yes : AccessibilityPort::Prompt::no);
    } else if (op == "ax.observe") {
        uint64_t channel = args.channel();
        ProcessID pid = args.pid();
        if (!args.ok)
            return std::nullopt;
        {
            std::lock_guard lock(m_lock);
            if (m_observers.count(channel))
                return sessionCode(AXError::illegalArgument);
        }
        AXObserverID observer = 0;
        AXError code = ax.createObserver(
            pid,
            [push = pusher(channel)](const AXElement& element, const std::string& notification) {
                push({ { "element", Wire::element(element) }, { "notification", notification } });
            },
            observer);
        if (code == AXError::success) {
            std::lock_guard lock(m_lock);
            m_observers[channel] = observer;
        }
        out = sessionCode(code);
    } else if (op == "ax.addNotification" || op == "ax.removeNotification" || op == "ax.unobserve") {
        uint64_t channel = args.channel();
        AXElement e = op == "ax.unobserve" ? AXElement {} : args.element();
        std::string name = op == "ax.unobserve" ? std::string() : args.text("name");
        if (!args.ok)
            return std::nullopt;
        std::optional<AXObserverID> observer;
        {
            std::lock_guard lock(m_lock);
            if (auto it = m_observers.find(channel); it != m_observers.end()) {
                observer = it->second;
                if (op == "ax.unobserve")
                    m_observers.erase(it);
            }
        }
        if (!observer)
            return sessionCode(AXError::invalidUIElementObserver);
        if (op == "ax.unobserve") {
            ax.destroyObserver(*observer);
            out = sessionCode(AXError::success);
        } else {
            out = sessionCode(op == "ax.addNotification" ? ax.addNotification(*observer, e, name)
                                                         : ax.removeNotification(*observer, e, name));
        }
    }
    return out;
}

std::optional<Json> DesktopSession::windowServer(const std::string& op, const Json& request)
{
    WindowServerPort& ws = *m_services.windowServer;
    SessionArgs args { request };
    if (op == "ws.windows") {
        auto options = static_cast<uint32_t>(args.integer("options", 0, UINT32_MAX));
        if (!args.ok)
            return std::nullopt;
        auto windows = ws.copyWindowInfo(options);
        if (!windows)
            return Json(nullptr);
        Json list = Json::array();
        for (const auto& info : *windows)
            list.push_back(Wire::windowInfo(info));
        return list;
    }
    if (op == "ws.screens") {
        Json list = Json::array();
        for (const auto& screen : ws.screens())
            list.push_back(Wire::screen(screen));
        return list;
    }
    if (op == "ws.mainScreen") {
        auto screen = ws.mainScreen();
        return screen ? Wire::screen(*screen) : Json(nullptr);
    }
    if (op == "ws.post" || op == "ws.postToPid") {
        InputEvent event = args.event();
        int64_t tap = op == "ws.post" ? args.integer("tap", 0, 1) : 0;
        ProcessID pid = op == "ws.post" ? 0 : args.pid();
        if (!args.ok)
            return std::nullopt;
        if (op == "ws.post")
            ws.post(static_cast<EventTap>(tap), event);
        else
            ws.postToPid(pid, event);
        return Json(true);
    }
    if (op == "ws.mouse") {
        bool appKit = args.flag("appKit");
        if (!args.ok)
            return std::nullopt;
        Point p = ws.mouseLocation(appKit ? WindowServerPort::Origin::appKit : WindowServerPort::Origin::topLeft);
        return Json { { "x", p.x }, { "y", p.y } };
    }
    return std::nullopt;
}

std::optional<Json> DesktopSession::workspace(const std::string& op, const Json& request)
{
    WorkspacePort& wk = *m_services.workspace;
    SessionArgs args { request };
    if (op == "wk.applications") {
        Json list = Json::array();
        for (const auto& application : wk.runningApplications())
            list.push_back(Wire::application(application));
        return list;
    }
    if (op == "wk.frontmost") {
        auto front = wk.frontmostApplication();
        return front ? Wire::application(*front) : Json(nullptr);
    }
    if (op == "wk.activate") {
        ProcessID pid = args.pid();
        bool all = args.flag("allWindows");
        if (!args.ok)
            return std::nullopt;
        return Json(wk.activate(pid, all ? WorkspacePort::ActivationOptions::allWindows
                                         : WorkspacePort::ActivationOptions::none));
    }
    if (op == "wk.terminate") {
        ProcessID pid = args.pid();
        return args.ok ? std::optional<Json>(wk.terminate(pid)) : std::nullopt;
    }
    if (op == "wk.osVersion") {
        auto v = wk.operatingSystemVersion();
        return Json { { "major", v.majorVersion }, { "minor", v.minorVersion }, { "patch", v.patchVersion } };
    }
    if (op == "wk.version" || op == "wk.path") {
        std::string bundleID = args.text("bundleID");
        if (!args.ok)
            return std::nullopt;
        auto found = op == "wk.version" ? wk.applicationVersion(bundleID) : wk.applicationPath(bundleID);
        return found ? Json(*found) : Json(nullptr);
    }
    if (op == "wk.observe" || op == "wk.unobserve") {
        uint64_t channel = args.channel();
        if (!args.ok)
            return std::nullopt;
        if (op == "wk.unobserve") {
            std::shared_ptr<void> watch;
            std::lock_guard lock(m_lock);
            if (auto it = m_activationWatches.find(channel); it != m_activationWatches.end()) {
                watch = std::move(it->second);
                m_activationWatches.erase(it);
            }
            return Json(watch != nullptr);
        }
        auto watch = wk.observeActivation([push = pusher(channel)](const RunningApplication& application) {
            push({ { "application", Wire::application(application) } });
        });
        std::lock_guard lock(m_lock);
        m_activationWatches[channel] = std::move(watch);
        return Json(true);
    }
    return std::nullopt;
}

std::optional<Json> DesktopSession::pasteboardOrPermissions(const std::string& op, const Json& request)
{
    PasteboardPort& pb = *m_services.pasteboard;
    PermissionsPort& pm = *m_services.permissions;
    SessionArgs args { request };
    if (op == "pb.changeCount")
        return Json(pb.changeCount());
    if (op == "pb.clear")
        return Json(pb.clearContents());
    if (op == "pb.items") {
        Json list = Json::array();
        for (const auto& item : pb.pasteboardItems())
            list.push_back(Wire::pasteboardItem(item));
        return list;
    }
    if (op == "pb.string") {
        std::string type = args.text("type");
        if (!args.ok)
            return std::nullopt;
        auto text = pb.stringForType(type);
        return text ? Json(*text) : Json(nullptr);
    }
    if (op == "pb.write") {
        const Json* list = Wire::member(request, "items");
        if (!list || !list->is_array())
            return std::nullopt;
        std::vector<PasteboardItem> items;
        for (const auto& item : *list) {
            auto read = Wire::readPasteboardItem(item);
            if (!read)
                return std::nullopt;
            items.push_back(std::move(*read));
        }
        return Json(pb.writeObjects(items));
    }
    if (op == "pb.setString") {
        std::string text = args.text("string"), type = args.text("type");
        return args.ok ? std::optional<Json>(pb.setString(text, type)) : std::nullopt;
    }
    if (op == "pm.inputMonitoring")
        return Json(static_cast<int>(pm.checkInputMonitoring()));
    if (op == "pm.requestInputMonitoring")
        return Json(pm.requestInputMonitoring());
    if (op == "pm.register" || op == "pm.unregister") {
        std::string error;
        bool done = op == "pm.register" ? pm.registerLoginItem(error) : pm.unregisterLoginItem(error);
        return Json { { "done", done }, { "error", error } };
    }
    if (op == "pm.loginItemStatus")
        return Json(static_cast<int>(pm.loginItemStatus()));
    return std::nullopt;
}

std::optional<Json> DesktopSession::eventMonitors(const std::string& op, const Json& request)
{
    SessionArgs args { request };
    const uint64_t channel = args.channel();
    if (!args.ok)
        return std::nullopt;
    std::optional<uint64_t> monitor;
    std::optional<ProcessID> application;
    {
        std::lock_guard lock(m_lock);
        if (auto it = m_monitors.find(channel); it != m_monitors.end())
            monitor = it->second;
        application = m_application;
    }
    SimEventMonitor eventMonitor(m_desktop, application.value_or(-1));
    if (op == "em.global" || op == "em.local" || op == "em.tap") {
        auto mask = static_cast<EventTypeMask>(args.integer("mask", 0, UINT32_MAX));
        if (!args.ok)
            return std::nullopt;
        if (monitor)
            return Json(false);
        auto push = pusher(channel);
        auto onEvent = [push](const MonitoredEvent& event) { push({ { "event", Wire::monitoredEvent(event) } }); };
        std::optional<uint64_t> made;
        if (op == "em.global")
            made = eventMonitor.addGlobalMonitor(mask, onEvent);
        else if (op == "em.local")
            made = eventMonitor.addLocalMonitor(mask, [onEvent](const MonitoredEvent& event) {
                onEvent(event);
                return std::optional<MonitoredEvent>(event);
            });
        else
            made = eventMonitor.createListenOnlyTap(mask, onEvent, [push](EventTapDisabledReason reason) {
                push({ { "disabled", static_cast<int>(reason) } });
            });
        if (!made)
            return Json(false);
        std::lock_guard lock(m_lock);
        m_monitors[channel] = *made;
        return Json(true);
    }
    if (op == "em.remove") {
        if (monitor) {
            eventMonitor.removeMonitor(*monitor);
            eventMonitor.removeTap(*monitor);
            std::lock_guard lock(m_lock);
            m_monitors.erase(channel);
        }
        return Json(monitor.has_value());
    }
    if (op == "em.enableTap") {
        bool enabled = args.flag("enabled");
        if (!args.ok)
            return std::nullopt;
        if (monitor)
            eventMonitor.setTapEnabled(*monitor, enabled);
        return Json(monitor.has_value());
    }
    if (op == "em.isTapEnabled")
        return Json(monitor && eventMonitor.isTapEnabled(*monitor));
    return std::nullopt;
}

std::optional<Json> DesktopSession::session(const std::string& op, const Json& request)
{
    SessionArgs args { request };
    if (op == "cap.window") {
        auto number = static_cast<uint32_t>(args.integer("window", 0, UINT32_MAX));
        std::string path = args.text("path");
        if (!args.ok)
            return std::nullopt;
        auto status = m_services.windowCapture->captureWindow(number, path);
        if (!status)
            return Json { { "launchError", status.error().reason } };
        return Json { { "status", status.value() } };
    }
    if (op == "app.register") {
        const Json* json = Wire::member(request, "app");
        auto application = json ? Wire::readApplication(*json) : std::nullopt;
        if (!application)
            return std::nullopt;
        std::lock_guard lock(m_lock);
        if (m_application || m_ended)
            return Json(false);
        ProcessID pid = m_desktop->addApplication({ .pid = application->pid,
                                                    .bundleIdentifier = application->bundleIdentifier,
                                                    .localizedName = application->localizedName,
                                                    .executableName = application->executableName,
                                                    .bundlePath = application->bundlePath,
                                                    .bundleVersion = application->bundleVersion });
        if (pid == 0)
            return Json(false);
        m_application = pid;
        m_windows = std::make_shared<ClientWindows>(m_desktop, pid);
        return Json(true);
    }
    if (op == "tk.show" || op == "tk.remove" || op == "tk.listen")
        return clientWindows(op, request);
    if (op == "rt.recognize")
        return recognize(request);
    return std::nullopt;
}

// The client's own windows, shown as windows of the application it registered.
std::optional<Json> DesktopSession::clientWindows(const std::string& op, const Json& request)
{
    std::shared_ptr<ClientWindows> windows;
    {
        std::lock_guard lock(m_lock);
        windows = m_windows;
    }
    SessionArgs args { request };
    if (op == "tk.show") {
        const Json* json = Wire::member(request, "window");
        auto window = json ? SharedWindow::fromWire(*json) : std::nullopt;
        if (!window)
            return std::nullopt;
        return Json(windows && windows->show(*window));
    }
    if (op == "tk.remove") {
        auto number = static_cast<uint32_t>(args.integer("window", 1, UINT32_MAX));
        if (!args.ok)
            return std::nullopt;
        return Json(windows && windows->remove(number));
    }
    const uint64_t channel = args.channel();
    if (!args.ok)
        return std::nullopt;
    return Json(windows && windows->listen(pusher(channel)));
}

// Answered from the desktop's truth whatever recogniser the server itself uses: the client chose
// to be answered from what was drawn. Only the picture's digest comes, never its pixels.
std::optional<Json> DesktopSession::recognize(const Json& request)
{
    const Json* digest = Wire::member(request, "digest");
    SessionArgs args { request };
    const auto x = static_cast<int>(args.integer("x", INT32_MIN, INT32_MAX));
    const auto y = static_cast<int>(args.integer("y", INT32_MIN, INT32_MAX));
    const auto width = static_cast<int>(args.integer("width", 0, INT32_MAX));
    const auto height = static_cast<int>(args.integer("height", 0, INT32_MAX));
    const Json* asked = Wire::member(request, "request");
    auto recognition = asked ? Wire::readRecognitionRequest(*asked) : std::nullopt;
    if (!args.ok || !digest || !digest->is_number_unsigned() || !recognition)
        return std::nullopt;
    Image image;
    image.width = width;
    image.height = height;
    image.sourceDigest = digest->get<uint64_t>();
    image.sourceX = x;
    image.sourceY = y;
    SimRecognitionTruth& truth = m_desktop->recognitionTruth();
    // The image has no pixels here: one without a source is none the desktop drew.
    DesktopTruthRecognizer recognizer(
        [&truth](const Image& picture) {
            return picture.sourceDigest != 0 ? truth.linesFor(picture) : std::nullopt;
        },
        truth.noise());
    auto observations = recognizer.recognize(image, *recognition);
    if (!observations)
        return Json { { "error", Wire::error(observations.error()) } };
    return Json { { "observations", Wire::observations(*observations) } };
}

DesktopSession::Answer DesktopSession::runProcess(int64_t id, const Json& request)
{
    const std::string* program = Wire::string(request, "program");
    const Json* list = Wire::member(request, "arguments");
    auto arguments = list ? Wire::readStrings(*list) : std::nullopt;
    if (!program || !arguments)
        return sessionRefusal(id, "pr.run");
    std::shared_ptr<ProcessPort> processes = m_services.processes;
    auto run = [processes, id, program = *program, arguments = std::move(*arguments)] {
        Json out;
        if (!processes) {
            out = { { "launchError", "the desktop runs no programs" } };
        } else if (auto outcome = processes->run(program, arguments)) {
            out = { { "exitStatus", outcome->exitStatus }, { "standardError", outcome->standardError } };
        } else {
            out = { { "launchError", outcome.error() } };
        }
        return Json { { "id", id }, { "ok", std::move(out) } };
    };
    return answerLater(std::move(run));
}

// AppleScript's "delay" waits where the script runs: on the connection's thread it would hold up
// the client's other requests.
DesktopSession::Answer DesktopSession::runScript(int64_t id, const Json& request)
{
    SessionArgs args { request };
    std::string source = args.text("source");
    if (!args.ok)
        return sessionRefusal(id, "wk.script");
    std::shared_ptr<WorkspacePort> workspace = m_services.workspace;
    return answerLater([workspace, id, source = std::move(source)] {
        std::string error;
        auto result = workspace->runAppleScript(source, error);
        Json out = { { "error", error } };
        if (result)
            out["result"] = *result;
        return Json { { "id", id }, { "ok", std::move(out) } };
    });
}

DesktopSession::Answer DesktopSession::answerLater(std::function<Json()> run)
{
    joinRuns(false);
    // A client that starts runs without end gets them one after the other, as its other requests.
    constexpr size_t maxRunning = 8;
    std::unique_lock lock(m_lock);
    if (m_ended || m_runs.size() >= maxRunning) {
        // Not under the lock: what it runs may take long, and pushes wait for the lock.
        lock.unlock();
        return { run(), false };
    }
    auto finished = std::make_shared<std::atomic<bool>>(false);
    std::weak_ptr<DesktopSession> weak = weak_from_this();
    std::thread thread([weak, finished, run = std::move(run)] {
        Json answer = run();
        if (auto self = weak.lock()) {
            // Sent under the lock, as pushes are: once `end` has begun, nothing more goes out.
            std::lock_guard sending(self->m_lock);
            if (!self->m_ended)
                self->m_send(answer);
        }
        *finished = true;
    });
    m_runs.push_back({ std::move(thread), std::move(finished) });
    return { Json(), false, true };
}

void DesktopSession::joinRuns(bool all)
{
    std::list<ProcessRun> done;
    {
        std::lock_guard lock(m_lock);
        for (auto it = m_runs.begin(); it != m_runs.end();) {
            auto next = std::next(it);
            if (all || *it->finished)
                done.splice(done.end(), m_runs, it);
            it = next;
        }
    }
    for (ProcessRun& run : done) {
        // The last owner of the session may be a run's own thread, ending it there.
        if (run.thread.get_id() == std::this_thread::get_id())
            run.thread.detach();
        else
            run.thread.join();
    }
}

} // namespace lorvantine
