#include "Platform/Services.h"

#include <cassert>
#include <mutex>

namespace lorvantine::Platform {

namespace {
std::mutex s_mutex;
PlatformServices s_services;

template<typename T> T& require(const std::shared_ptr<T>& port)
{
    assert(port && "no backend installed for this port");
    return *port;
}
} // namespace

PlatformServices current()
{
    std::lock_guard lock(s_mutex);
    return s_services;
}

PlatformServices install(PlatformServices services)
{
    std::lock_guard lock(s_mutex);
    std::swap(s_services, services);
    return services;
}

AccessibilityPort& accessibility() { return require(current().accessibility); }
WindowServerPort& windowServer() { return require(current().windowServer); }
WorkspacePort& workspace() { return require(current().workspace); }
PasteboardPort& pasteboard() { return require(current().pasteboard); }
PermissionsPort& permissions() { return require(current().permissions); }
WindowCapturePort& windowCapture() { return require(current().windowCapture); }
TextRecognitionPort& textRecognizer() { return require(current().textRecognizer); }
EventMonitorPort& eventMonitor() { return require(current().eventMonitor); }
ProcessPort& processes() { return require(current().processes); }

} // namespace lorvantine::Platform
