#include "SimDesktop/Ports/SimWindowServer.h"

#include "SimDesktop/Model/SimInputRouting.h"
#include "SimDesktop/SimDesktop.h"
#include "SimDesktop/Model/SimScrolling.h"


namespace lorvantine {

std::optional<std::vector<WindowInfo>> SimWindowServer::copyWindowInfo(uint32_t options)
{
    return m_desktop->withModel([&](SimModel& m) {
        std::vector<WindowInfo> list;
        for (uint32_t number : m.stackingOrder()) {
            const SimModel::Window& w = m.windows.at(number);
            const SimModel::Application* app = m.application(w.pid);
            const bool onScreen = !w.minimized && !(app && app->hidden);
            if ((options & WindowListOption::onScreenOnly) && !onScreen)
                continue;
            if ((options & WindowListOption::excludeDesktopElements) && w.layer < 0)
                continue;
            WindowInfo info;
            info.kCGWindowNumber = w.number;
            info.kCGWindowOwnerPID = w.pid;
            if (app && app->info.localizedName)
                info.kCGWindowOwnerName = app->info.localizedName;
            info.kCGWindowName = w.title;
            info.kCGWindowBounds = w.frame;
            info.kCGWindowLayer = w.layer;
            info.kCGWindowIsOnscreen = onScreen;
            info.kCGWindowAlpha = w.alpha;
            list.push_back(std::move(info));
        }
        return std::optional<std::vector<WindowInfo>>(std::move(list));
    });
}

std::vector<ScreenInfo> SimWindowServer::screens()
{
    return m_desktop->withModel([](SimModel& m) { return m.screens; });
}

std::optional<ScreenInfo> SimWindowServer::mainScreen()
{
    return m_desktop->withModel([](SimModel& m) -> std::optional<ScreenInfo> {
        if (m.screens.empty())
            return std::nullopt;
        const double primaryHeight = m.screens.front().frame.height();
        if (const SimModel::Application* front = m.frontmost()) {
            if (uint32_t number = m.mainWindow(front->info.pid)) {
                const Rect& f = m.windows.at(number).frame;
                const Point centre { f.midX(), primaryHeight - f.midY() };
                for (const auto& screen : m.screens)
                    if (screen.frame.contains(centre))
                        return screen;
            }
        }
        return m.screens.front();
    });
}

void SimWindowServer::post(EventTap tap, const InputEvent& event)
{
    m_desktop->withModel([&](SimModel& m) {
        if (!event.isKeyboard() && event.type != InputEventType::scrollWheel)
            m.mouseLocation = event.location;
        SimInputRouting::route(m, event, tap, 0);
        m.record({ .kind = SimJournalEntry::Kind::event, .event = event, .tap = tap });
        if (tap == EventTap::hid && event.type == InputEventType::scrollWheel)
            SimScrolling::wheel(m, event);
    });
}

void SimWindowServer::postToPid(ProcessID pid, const InputEvent& event)
{
    m_desktop->withModel([&](SimModel& m) {
        SimInputRouting::route(m, event, std::nullopt, pid);
        m.record({ .kind = SimJournalEntry::Kind::event, .event = event, .pid = pid });
    });
}

Point SimWindowServer::mouseLocation(Origin origin)
{
    return m_desktop->withModel([&](SimModel& m) {
        if (origin == Origin::topLeft || m.screens.empty())
            return m.mouseLocation;
        return Point { m.mouseLocation.x, m.screens.front().frame.height() - m.mouseLocation.y };
    });
}

} // namespace lorvantine
