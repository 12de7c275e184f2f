#pragma once

#include <memory>

namespace lorvantine {

class AccessibilityPort;
class WindowServerPort;
class WorkspacePort;
class PasteboardPort;
class PermissionsPort;
class WindowCapturePort;
class TextRecognitionPort;
class EventMonitorPort;
class ProcessPort;

// The backends behind the ports, chosen once at start-up (or by a test). Code above Platform/
// reaches the desktop only through these.
struct PlatformServices {
    std::shared_ptr<AccessibilityPort> accessibility;
    std::shared_ptr<WindowServerPort> windowServer;
    std::shared_ptr<WorkspacePort> workspace;
    std::shared_ptr<PasteboardPort> pasteboard;
    std::shared_ptr<PermissionsPort> permissions;
    std::shared_ptr<WindowCapturePort> windowCapture;
    std::shared_ptr<TextRecognitionPort> textRecognizer;
    std::shared_ptr<EventMonitorPort> eventMonitor;
    std::shared_ptr<ProcessPort> processes;
};

namespace Platform {

// Each asserts that a backend is installed.
AccessibilityPort& accessibility();
WindowServerPort& windowServer();
WorkspacePort& workspace();
PasteboardPort& pasteboard();
PermissionsPort& permissions();
WindowCapturePort& windowCapture();
TextRecognitionPort& textRecognizer();
EventMonitorPort& eventMonitor();
ProcessPort& processes();

PlatformServices current();
// Installs `services` and returns the previous ones.
PlatformServices install(PlatformServices services);

// Installs services for its lifetime and puts the previous ones back (tests).
class ScopedServices {
public:
    explicit ScopedServices(PlatformServices services) : m_previous(install(std::move(services))) {}
    ~ScopedServices() { install(std::move(m_previous)); }
    ScopedServices(const ScopedServices&) = delete;
    ScopedServices& operator=(const ScopedServices&) = delete;

private:
    PlatformServices m_previous;
};

} // namespace Platform
} // namespace lorvantine
