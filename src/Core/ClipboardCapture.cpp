#include "Core/ClipboardCapture.h"

#include "Platform/Dispatch/Dispatch.h"
#include "Platform/EventMonitorPort.h"
#include "Platform/PasteboardPort.h"
#include "Platform/PermissionsPort.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Support/Log.h"

#include <memory>
#include <vector>

namespace lorvantine::ClipboardCapture {

namespace {

constexpr uint16_t kKeyC = 8;
constexpr Duration kPollInterval = seconds(0.01);

using Snapshot = std::vector<PasteboardItem>;

Snapshot snapshotOf(PasteboardPort& pasteboard) { return pasteboard.pasteboardItems(); }

bool sendCmdC()
{
    InputEvent down = InputEvent::keyboard(EventSourceState::combinedSession, kKeyC, true);
    InputEvent up = InputEvent::keyboard(EventSourceState::combinedSession, kKeyC, false);
    down.flags = EventFlags::maskCommand;
    up.flags = EventFlags::maskCommand;
    WindowServerPort& server = Platform::windowServer();
    server.post(EventTap::hid, down);
    server.post(EventTap::hid, up);
    return true;
}

void restore(PasteboardPort& pasteboard, const Snapshot& items)
{
    pasteboard.clearContents();
    if (items.empty())
        return;
    pasteboard.writeObjects(items);
}

// Text on the pasteboard since `before`: an application may clear the pasteboard and write a
// moment later, so a change alone is no answer.
std::optional<std::string> copiedText(PasteboardPort& pasteboard, int64_t before)
{
    if (pasteboard.changeCount() == before)
        return std::nullopt;
    auto text = pasteboard.stringForType(PasteboardType::string);
    if (!text || text->empty())
        return std::nullopt;
    return text;
}

constexpr Duration kLateCopyPoll = seconds(0.05);

// Watches the pasteboard after a capture for a copy that came too late, and puts the user's
// contents back once more. Main thread.
class LateCopyWatch : public std::enable_shared_from_this<LateCopyWatch> {
public:
    LateCopyWatch(Snapshot saved, int64_t restoredCount)
        : m_saved(std::move(saved))
        , m_restoredCount(restoredCount)
        , m_pasteboard(Platform::current().pasteboard)
        , m_monitors(Platform::current().eventMonitor)
    {
    }

    static std::shared_ptr<LateCopyWatch>& current()
    {
        static std::shared_ptr<LateCopyWatch> watch;
        return watch;
    }

    void begin()
    {
        std::weak_ptr<LateCopyWatch> weak = weak_from_this();
        EventMonitorPort& monitors = *m_monitors;
        const EventTypeMask mask = eventTypeMask(InputEventType::keyDown) | eventTypeMask(InputEventType::leftMouseDown)
            | eventTypeMask(InputEventType::rightMouseDown);
        // The user's own hand has no event source; the program's synthetic keys do.
        m_global = monitors.addGlobalMonitor(mask, [weak](const MonitoredEvent& event) {
            if (auto self = weak.lock(); self && !event.source)
                self->m_userActed = true;
        });
        m_local = monitors.addLocalMonitor(mask, [weak](const MonitoredEvent& event) -> std::optional<MonitoredEvent> {
            if (auto self = weak.lock(); self && !event.source)
                self->m_userActed = true;
            return event;
        });
        m_deadline = Clock::current().now() + lateCopyGracePeriod;
        m_timer = Timer::scheduled(kLateCopyPoll, Timer::Repeats::yes, [weak](Timer&) {
            if (auto self = weak.lock())
                self->tick();
        });
    }

    void end()
    {
        if (m_timer)
            m_timer->invalidate();
        m_timer.reset();
        EventMonitorPort& monitors = *m_monitors;
        if (m_global)
            monitors.removeMonitor(*m_global);
        if (m_local)
            monitors.removeMonitor(*m_local);
        m_global.reset();
        m_local.reset();
        if (current().get() == this)
            current().reset();
    }

private:
    void tick()
    {
        auto keepAlive = shared_from_this();
        if (m_userActed) {
            end();
            return;
        }
        PasteboardPort& pasteboard = *m_pasteboard;
        if (pasteboard.changeCount() != m_restoredCount) {
            restore(pasteboard, m_saved);
            Log::line("[SelectionOCR] ⚠️ ⌘C 在等待结束后才到，已再次恢复剪贴板");
            end();
            return;
        }
        if (!(Clock::current().now() < m_deadline))
            end();
    }

    Snapshot m_saved;
    int64_t m_restoredCount = 0;
    bool m_userActed = false;
    TimePoint m_deadline {};
    std::optional<EventMonitorID> m_global;
    std::optional<EventMonitorID> m_local;
    std::shared_ptr<Timer> m_timer;
    // The ports of the desktop the capture ran on, whatever is installed by the time it ends.
    std::shared_ptr<PasteboardPort> m_pasteboard;
    std::shared_ptr<EventMonitorPort> m_monitors;
};

void watchForLateCopy(Snapshot saved, int64_t restoredCount)
{
    // Without Input Monitoring the user's own copy could not be told from a late one.
    const PlatformServices services = Platform::current();
    if (!services.eventMonitor || !services.permissions
        || services.permissions->checkInputMonitoring() != InputMonitoringAccess::granted)
        return;
    auto begin = [saved = std::move(saved), restoredCount]() mutable {
        if (auto& previous = LateCopyWatch::current())
            previous->end();
        auto watch = std::make_shared<LateCopyWatch>(std::move(saved), restoredCount);
        LateCopyWatch::current() = watch;
        watch->begin();
    };
    if (RunLoop::isMainThread())
        begin();
    else
        DispatchQueue::main().async(std::move(begin));
}

} // namespace

std::optional<std::string> captureSelectionText(Duration timeout)
{
    PasteboardPort& pasteboard = Platform::pasteboard();
    Clock& clock = Clock::current();
    const Snapshot saved = snapshotOf(pasteboard);
    const int64_t before = pasteboard.changeCount();

    if (!sendCmdC()) {
        restore(pasteboard, saved);
        return std::nullopt;
    }

    std::optional<std::string> result;
    const TimePoint deadline = clock.now() + timeout;
    if (clock.now() < deadline) {
        for (;;) {
            if ((result = copiedText(pasteboard, before)))
                break;
            clock.sleep(kPollInterval);
            if (!(clock.now() < deadline)) {
                result = copiedText(pasteboard, before);
                break;
            }
        }
    }

    restore(pasteboard, saved);
    watchForLateCopy(saved, pasteboard.changeCount());
    return result;
}

} // namespace lorvantine::ClipboardCapture
