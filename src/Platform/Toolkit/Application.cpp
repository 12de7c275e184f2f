#include "Platform/Toolkit/Application.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"

#include <unistd.h>

namespace lorvantine {

Application& Application::shared()
{
    static Application application;
    return application;
}

ProcessID Application::processIdentifier() { return static_cast<ProcessID>(getpid()); }

void Application::run()
{
    MainQueue::requireMainThread("Application::run");
    RunLoop::run();
}

void Application::terminate()
{
    MainQueue::requireMainThread("Application::terminate");
    if (onWillTerminate)
        onWillTerminate();
    RunLoop::stop();
}

bool Application::isActive() const
{
    auto workspace = Platform::current().workspace;
    if (!workspace)
        return false;
    auto front = workspace->frontmostApplication();
    return front && front->pid == processIdentifier();
}

void Application::activate()
{
    if (auto workspace = Platform::current().workspace)
        workspace->activate(processIdentifier(), WorkspacePort::ActivationOptions::none);
}

void Application::deactivate()
{
    const PlatformServices ports = Platform::current();
    if (!ports.workspace || !ports.windowServer || !isActive())
        return;
    // Front to back: the next window is the one the person was at before the program came forward.
    const auto windows = ports.windowServer->copyWindowInfo(WindowListOption::onScreenOnly);
    for (const WindowInfo& info : windows.value_or(std::vector<WindowInfo> {})) {
        const ProcessID owner = info.kCGWindowOwnerPID.value_or(0);
        if (info.kCGWindowLayer.value_or(-1) == 0 && owner > 0 && owner != processIdentifier()) {
            ports.workspace->activate(owner, WorkspacePort::ActivationOptions::none);
            return;
        }
    }
}

} // namespace lorvantine
