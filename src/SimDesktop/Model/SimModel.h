#pragma once

#include "Platform/AccessibilityPort.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "SimDesktop/Model/SimApplication.h"
#include "SimDesktop/Model/SimInstalledApplication.h"
#include "SimDesktop/Behaviours/SimBehaviour.h"
#include "SimDesktop/Model/SimJournal.h"
#include "SimDesktop/Model/SimNode.h"

#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace lorvantine {

// The state of one simulated macOS session. Not thread-safe: SimDesktop owns it behind its one
// mutex, and everything here runs with that mutex held. Changes that the real system announces
// (window moved, application activated...) queue notifications in `pendingNotifications` and
// `pendingActivations`; SimDesktop delivers them on the main queue once the lock is released.
class SimModel {
public:
    struct Application {
        RunningApplication info;
        bool hidden = false;
        uint64_t node = 0;
        uint64_t menuBar = 0;
        uint64_t focusedElement = 0;
    };

    struct Window {
        uint32_t number = 0;
        ProcessID pid = 0;
        uint64_t node = 0;
        std::string title;
        Rect frame;
        bool minimized = false;
        bool main = false;
        int32_t layer = 0;
        double alpha = 1;
        std::string subrole;
        std::optional<uint32_t> background;
        // The program's own windows (SimWindowHost): click-through ones are never hit, and the
        // program draws them itself through an external layer, so the renderer leaves them out.
        bool ignoresMouseEvents = false;
        bool drawnExternally = false;
        std::optional<std::string> tty; // a terminal's tab
        bool runnersTerminal = false;
    };

    struct Observer {
        ProcessID pid = 0;
        AccessibilityPort::ObserverCallback callback;
        std::set<std::pair<AXElement, std::string>> registrations;
    };

    struct PendingNotification {
        AXObserverID observer = 0;
        AXElement element;
        AXElement registeredOn;
        std::string name;
    };

    // A global or local monitor, or a listen-only tap, of process `pid`.
    struct EventMonitor {
        enum class Kind { global, local, tap };
        Kind kind = Kind::global;
        ProcessID pid = 0;
        EventTypeMask mask = 0;
        bool enabled = true;
        std::function<void(const MonitoredEvent&)> onEvent;
        EventMonitorPort::LocalHandler onLocalEvent;
        std::function<void(EventTapDisabledReason)> onDisabled;
    };

    // One posted event on its way to the monitors and taps that see it, in posting order.
    struct PendingEvent {
        std::vector<uint64_t> monitors;
        MonitoredEvent event;
    };

    static constexpr uint64_t systemWideNode = 1;

    std::vector<ScreenInfo> screens;
    // In launch order; changed only by addApplication and terminate, which keep the index by pid.
    std::vector<Application> applications;
    std::vector<SimInstalledApplication> installed;
    std::map<uint32_t, Window> windows;
    std::vector<uint32_t> zOrder; // front first
    std::unordered_map<uint64_t, SimNode> nodes;
    std::unordered_map<std::string, uint64_t> names;
    // Documents laid out over page frames, by name.
    std::map<std::string, std::shared_ptr<SimPagedDocument>> documents;
    uint64_t geometryGeneration = 1;

    bool trusted = true;
    InputMonitoringAccess inputMonitoring = InputMonitoringAccess::granted;
    LoginItemStatus loginItem = LoginItemStatus::notRegistered;
    bool loginItemChangesFail = false;
    Point mouseLocation; // top-left origin
    std::vector<PasteboardItem> pasteboard;
    int64_t pasteboardChangeCount = 0;
    OperatingSystemVersion osVersion { 14, 5, 0 };

    SimJournal journal;
    std::vector<std::shared_ptr<SimBehaviour>> behaviours;

    std::map<AXObserverID, Observer> observers;
    AXObserverID nextObserver = 1;
    std::vector<PendingNotification> pendingNotifications;
    std::map<uint64_t, std::function<void(const RunningApplication&)>> activationListeners;
    uint64_t nextActivationListener = 1;
    std::vector<std::pair<uint64_t, RunningApplication>> pendingActivations;

    std::map<uint64_t, EventMonitor> eventMonitors;
    uint64_t nextEventMonitor = 1;
    bool eventTapsAvailable = true;
    // The application that took the last press, which gets the drags and the release.
    std::optional<ProcessID> pressedApplication;
    // An open menu (a pop-up button's menu, the menu bar's popover): the keys posted at a tap go
    // to its application whichever is in front, and that application's local monitors do not
    // hear them (the menu takes them first), until it closes, another application comes to the
    // front or a press lands outside it.
    std::optional<uint32_t> openMenu;
    // Takes each routed event as it is posted (SimDesktop queues it for the main queue at once, so
    // monitors hear events in posting order, before the program's windows get them).
    std::function<void(PendingEvent)> onRoutedEvent;
    std::vector<std::pair<uint64_t, EventTapDisabledReason>> pendingTapDisables;

    // --- Handles ---
    // The node behind a handle; nullptr when the handle names nothing alive.
    SimNode* node(const AXElement& element);
    SimNode* node(uint64_t id);
    AXElement handle(const SimNode& node) const;
    AXElement handle(uint64_t id) const;
    Application* application(ProcessID pid);
    Window* window(uint32_t number);
    Application* frontmost();
    // The application the keys posted at a tap go to: the open menu's, else the frontmost.
    Application* keyFocus();
    std::optional<uint64_t> find(const std::string& name) const;

    // --- Building ---
    ProcessID addApplication(const SimApplication& application);
    // 0 when `pid` runs no application.
    uint32_t addWindow(ProcessID pid, const SimWindow& window);
    // 0 when `parent` is not a node.
    uint64_t addElement(uint64_t parent, const SimElement& element);
    // Removes a node and its subtree (not applications or windows: close or terminate those).
    void removeElement(uint64_t id);
    void invalidateGeometry() { ++geometryGeneration; }
    // Sets the reference attributes whose elements all exist by now.
    void resolveReferences();

    // --- Changes the system announces ---
    bool moveWindow(uint32_t number, Point origin);
    bool resizeWindow(uint32_t number, Size size);
    bool setMinimized(uint32_t number, bool minimized);
    bool setWindowTitle(uint32_t number, const std::string& title);
    // Brings a window to the front of its application and makes it main.
    bool raiseWindow(uint32_t number);
    bool closeWindow(uint32_t number);
    bool setFrontmost(ProcessID pid);
    bool terminate(ProcessID pid);
    // Lays the element's text out anew (not for runs, which belong to their block's layout).
    bool setText(uint64_t id, const std::string& text);
    // Moves the content of a scrolling element; its descendants' frames follow.
    bool setScroll(uint64_t id, Point scroll);

    // Queues `notification` for the observers of `node` and of its application.
    void post(uint64_t node, const std::string& notification);
    // Records an entry and lets the behaviours react to it.
    void record(SimJournalEntry entry);

    // The window of `pid` that answers as main and focused, 0 when it has none.
    uint32_t mainWindow(ProcessID pid) const;
    // All windows front to back: higher layers first, then the z-order.
    std::vector<uint32_t> stackingOrder() const;
    // The windows of `pid` that the accessibility API shows (not desktop elements, whose layer
    // is below 0), front to back.
    std::vector<uint32_t> accessibleWindows(ProcessID pid) const;

private:
    uint64_t newNode(SimNode::Kind kind, ProcessID pid, uint64_t parent, uint32_t window);
    // The elements of an element's runs below `parent`, each a slice of the owner's layout from
    // `offset` on; `offset` moves past them.
    void addRuns(uint64_t owner, uint64_t parent, const std::vector<SimElement::Run>& runs, const SimFont& font,
                 int64_t& offset);
    void addMenu(uint64_t parent, const SimMenuItem& item, bool topLevel);
    void applyElement(SimNode& node, const SimElement& element);
    void eraseSubtree(uint64_t id, bool announce);
    std::vector<uint32_t> windowsOf(ProcessID pid) const;

    // Where each running application is in `applications`: a desktop of many applications starts
    // without searching the list for each one.
    std::unordered_map<ProcessID, size_t> m_applicationIndex;

    struct PendingReference {
        uint64_t node = 0;
        std::string attribute;
        SimElement::Reference reference;
    };
    std::vector<PendingReference> m_references;
    uint64_t m_nextNode = 2;
    ProcessID m_nextPid = 401;
    uint32_t m_nextWindow = 1001;
    int64_t m_nextOrder = 1'000'000;
    std::map<uint32_t, int64_t> m_windowOrder;
    // No window's order is higher (a closed window's may have been).
    int64_t m_highestOrder = std::numeric_limits<int64_t>::min();
    // The window each application made main last; main is set nowhere else, so no other window
    // of the application is main.
    std::unordered_map<ProcessID, uint32_t> m_mainWindows;
};

} // namespace lorvantine
