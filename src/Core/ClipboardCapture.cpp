#include "Core/ClipboardCapture.h"

#include "Platform/PasteboardPort.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"

#include <vector>

namespace lorvantine::ClipboardCapture {

namespace {

constexpr uint16_t kKeyC = 8;
constexpr Duration kPollInterval = seconds(0.01);

using Snapshot = std::vector<PasteboardItem>;

Snapshot snapshot(PasteboardPort& pasteboard) { return pasteboard.pasteboardItems(); }

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

} // namespace

void watchForLateCopy(const Snapshot& saved);

std::optional<std::string> captureSelectionText(Duration timeout)
{
    PasteboardPort& pasteboard = Platform::pasteboard();
    Clock& clock = Clock::current();
    const Snapshot saved = snapshot(pasteboard);
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
    watchForLateCopy(saved);
    return result;
}

} // namespace lorvantine::ClipboardCapture
