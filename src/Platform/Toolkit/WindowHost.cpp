#include "Platform/Toolkit/WindowHost.h"

#include "Platform/Dispatch/MainQueue.h"

namespace lorvantine {

namespace {
std::shared_ptr<WindowHost> s_host;
}

void WindowHost::displayDidChange(Window& window, const std::vector<Rect>&) { contentDidChange(window); }

void WindowHost::keyCaptureDidChange(Window*) { }

WindowHost* WindowHost::current() { return s_host.get(); }

std::shared_ptr<WindowHost> WindowHost::install(std::shared_ptr<WindowHost> host)
{
    MainQueue::requireMainThread("WindowHost::install");
    std::swap(s_host, host);
    return host;
}

} // namespace lorvantine
