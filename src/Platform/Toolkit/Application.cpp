#include "Platform/Toolkit/Application.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Dispatch/MainQueue.h"
#include "Platform/Services.h"
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

} // namespace lorvantine
