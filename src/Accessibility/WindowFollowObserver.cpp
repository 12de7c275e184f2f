#include "Accessibility/WindowFollowObserver.h"

#include "Accessibility/AXReader.h"
#include "Platform/Services.h"
#include "Support/Log.h"

#include <array>
#include <string>

namespace lorvantine {

namespace {

constexpr std::array<const char*, 2> followedNotifications { "AXWindowMoved", "AXWindowResized" };

std::string code(AXError error) { return std::to_string(static_cast<int32_t>(error)); }

} // namespace

// What the notification callback reaches the observer through: cleared when observing ends, so a
// late notification cannot touch an object that has gone.
struct WindowFollowObserver::Context {
    WindowFollowObserver* owner = nullptr;
};

WindowFollowObserver::WindowFollowObserver(AXElement window, ChangeHandler onChange)
    : m_window(window)
    , m_onChange(std::move(onChange))
{
}

WindowFollowObserver::~WindowFollowObserver() { stop(); }

void WindowFollowObserver::start()
{
    if (m_observer)
        return;

    AccessibilityPort& ax = Platform::accessibility();
    ProcessID pid = 0;
    const AXError pidError = ax.pid(m_window, pid);
    if (pidError != AXError::success || pid < 1) {
        Log::line("[WindowFollow] AXUIElementGetPid 失败: " + code(pidError));
        return;
    }

    auto context = std::make_shared<Context>();
    context->owner = this;
    AXObserverID observer = 0;
    const AXError createError = ax.createObserver(
        pid,
        [context](const AXElement&, const std::string&) {
            if (context->owner)
                context->owner->windowChanged();
        },
        observer);
    if (createError != AXError::success) {
        Log::line("[WindowFollow] AXObserverCreate 失败 pid=" + std::to_string(pid) + " err=" + code(createError));
        return;
    }

    m_observer = observer;
    m_context = std::move(context);
    for (const char* name : followedNotifications) {
        const AXError error = ax.addNotification(observer, m_window, name);
        if (error != AXError::success)
            Log::line(std::string("[WindowFollow] AddNotification ") + name + " 失败 err=" + code(error));
    }

    if (auto rect = AXReader::rect(m_window)) {
        m_lastRect = rect;
        if (m_onChange)
            m_onChange(*rect);
    }
}

void WindowFollowObserver::stop()
{
    if (!m_observer)
        return;
    AccessibilityPort& ax = Platform::accessibility();
    for (const char* name : followedNotifications)
        ax.removeNotification(*m_observer, m_window, name);
    ax.destroyObserver(*m_observer);
    m_observer.reset();
    if (m_context)
        m_context->owner = nullptr;
    m_context.reset();
    m_lastRect.reset();
}

void WindowFollowObserver::windowChanged()
{
    auto rect = AXReader::rect(m_window);
    if (!rect || rect->width() <= 1 || rect->height() <= 1)
        return;
    if (m_lastRect == rect)
        return;
    m_lastRect = rect;
    // The handler may stop or destroy this observer; nothing is touched after it.
    if (m_onChange) {
        auto handler = m_onChange;
        handler(*rect);
    }
}

} // namespace lorvantine
