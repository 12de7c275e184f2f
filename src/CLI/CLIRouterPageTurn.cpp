#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Documents/KindleSource.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WindowServerPort.h"
#include "Platform/WorkspacePort.h"
#include "Support/Log.h"
#include "Support/Text.h"

#include <array>

namespace lorvantine::CLIRouter {

namespace {

constexpr const char* kindleID = "com.amazon.Lassen";
constexpr const char* booksID = "com.apple.iBooksX";
constexpr uint16_t rightArrowKey = 124;
constexpr int pollTries = 20;
constexpr size_t fingerprintLength = 80;
constexpr int mostPagesPassed = 3;

struct MenuShortcut {
    int key;
    std::optional<int> modifiers; // none: any mask
    const char* name;
};
constexpr std::array<MenuShortcut, 3> menuShortcuts { {
    { 124, 0, "Cmd+→" },
    { 124, 8, "→" },
    { 121, std::nullopt, "PageDown" },
} };

struct Turn {
    std::string bundleID;
    std::string tag;
    std::string baseline;
    ProcessID pid = 0;
    TimePoint started;
    std::function<bool()> stillWanted;
};

std::string tagFor(const std::string& bundleID)
{
    if (bundleID == kindleID)
        return "Kindle";
    if (bundleID == booksID)
        return "Books";
    return "App";
}

void log(const Turn& turn, const std::string& message) { Log::line("[" + turn.tag + "] " + message); }

// The page's text as accessibility shows it, quick and without recognition; only the two book
// readers can be read this way.
std::optional<std::string> readPageText(const std::string& bundleID)
{
    if (bundleID == kindleID)
        return KindleSource::readAXText(bundleID);
    if (bundleID == booksID)
        return AppleBooksSource::readAXText(bundleID);
    return std::nullopt;
}

long long millisecondsSince(TimePoint start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::current().now() - start).count();
}

bool pressMenuShortcut(const Turn& turn)
{
    AccessibilityPort& ax = Platform::accessibility();
    for (const MenuShortcut& shortcut : menuShortcuts) {
        AXValue menuBar;
        if (ax.copyAttributeValue(AXElement { turn.pid, 0 }, "AXMenuBar", menuBar) != AXError::success
            || !std::holds_alternative<AXElement>(menuBar))
            continue;
        auto match = AXReader::searchMenuShortcut(std::get<AXElement>(menuBar), shortcut.key, shortcut.modifiers);
        if (!match || ax.performAction(match->item, "AXPress") != AXError::success)
            continue;
        log(turn, std::string("📖 翻页: AX menu ") + shortcut.name + " → " + Text::joined(match->path, " → "));
        return true;
    }
    return false;
}

std::optional<AXElement> firstMinimizedWindow(ProcessID pid)
{
    AccessibilityPort& ax = Platform::accessibility();
    for (const AXElement& window : AXReader::windows(AXElement { pid, 0 })) {
        AXValue minimized;
        if (ax.copyAttributeValue(window, "AXMinimized", minimized) == AXError::success
            && std::holds_alternative<bool>(minimized) && std::get<bool>(minimized))
            return window;
    }
    return std::nullopt;
}

void pressRightArrow(const Turn& turn)
{
    Clock& clock = Clock::current();
    AccessibilityPort& ax = Platform::accessibility();
    auto minimized = firstMinimizedWindow(turn.pid);
    if (minimized) {
        ax.setAttributeValue(*minimized, "AXMinimized", AXValue(false));
        clock.sleep(seconds(0.2));
    }
    const auto front = Platform::workspace().frontmostApplication();
    std::string scriptError;
    Platform::workspace().runAppleScript("tell application id \"" + turn.bundleID + "\" to activate", scriptError);
    clock.sleep(seconds(0.12));

    WindowServerPort& server = Platform::windowServer();
    server.post(EventTap::hid, InputEvent::keyboard(EventSourceState::combinedSession, rightArrowKey, true));
    clock.sleep(seconds(0.06));
    server.post(EventTap::hid, InputEvent::keyboard(EventSourceState::combinedSession, rightArrowKey, false));
    clock.sleep(seconds(0.1));

    if (minimized)
        ax.setAttributeValue(*minimized, "AXMinimized", AXValue(true));
    if (front && front->bundleIdentifier != turn.bundleID)
        Platform::workspace().activate(front->pid, WorkspacePort::ActivationOptions::none);
    log(turn, std::string("📖 翻页: AS activate + key (minimized=") + (minimized ? "true" : "false") + ", back to "
                  + (front ? front->localizedName.value_or("?") : "?") + ")");
}

void doPageTurn(const Turn& turn)
{
    const bool bookReader = turn.bundleID == kindleID || turn.bundleID == booksID;
    if (!bookReader && pressMenuShortcut(turn))
        return;
    pressRightArrow(turn);
}

// A page has turned once it shows text that begins otherwise than the page before; a blank page
// has not turned yet (a page still animating shows nothing).
bool turnedFrom(const Turn& turn, const std::optional<std::string>& text)
{
    return text && !Text::isBlank(*text)
        && Text::characterPrefix(*text, fingerprintLength) != Text::characterPrefix(turn.baseline, fingerprintLength);
}

// What a turn did to the page, judged by its text.
struct Look {
    enum class Outcome {
        turned,        // other text shows
        nothingToRead, // the page shows no text at all, well after the press: a picture
        unchanged,     // the same text, or none could be read
        abandoned,     // the reading the turn serves has stopped
    };
    Outcome outcome = Outcome::unchanged;
    std::string text; // the text last read ("" when none)
};

Look::Outcome verdictOn(const Turn& turn, const std::optional<std::string>& text)
{
    if (turnedFrom(turn, text))
        return Look::Outcome::turned;
    return text && Text::isBlank(*text) ? Look::Outcome::nothingToRead : Look::Outcome::unchanged;
}

Look pollForChange(const Turn& turn)
{
    std::optional<std::string> text;
    for (int attempt = 0; attempt < pollTries; ++attempt) {
        Clock::current().sleep(seconds(0.03));
        text = readPageText(turn.bundleID);
        if (turnedFrom(turn, text))
            break;
    }
    return { verdictOn(turn, text), text.value_or("") };
}

bool stillWanted(const Turn& turn)
{
    if (!turn.stillWanted || turn.stillWanted())
        return true;
    log(turn, "📖 阅读已停止，不再翻页");
    return false;
}

// Waits for the page to change after a press, pressing once more when it does not.
Look awaitTurn(const Turn& turn)
{
    Look look = pollForChange(turn);
    if (look.outcome == Look::Outcome::turned)
        return look;
    // A slow page can change just after the last try; pressing again at once would turn it twice
    // and skip a page, so give it a moment and look once more first.
    Clock::current().sleep(seconds(0.3));
    const auto text = readPageText(turn.bundleID);
    look = { verdictOn(turn, text), text.value_or("") };
    if (look.outcome != Look::Outcome::unchanged)
        return look;
    if (!stillWanted(turn))
        return { Look::Outcome::abandoned, look.text };
    log(turn, "📖 首次翻页未响应，重试");
    doPageTurn(turn);
    return pollForChange(turn);
}

std::optional<std::vector<ArticleParagraph>> readNewPage(const Turn& turn, TimePoint pollStart)
{
    const long long pollMs = millisecondsSince(pollStart);
    auto session = DocumentSourceRegistry::detect(turn.bundleID);
    std::vector<ArticleParagraph> paragraphs;
    if (session)
        for (const ReadableParagraph& paragraph : session->paragraphs())
            paragraphs.push_back(paragraph.toArticleParagraph());
    if (paragraphs.empty()) {
        log(turn, "📖 检测失败");
        return std::nullopt;
    }
    log(turn, "📖 翻页成功 (poll=" + std::to_string(pollMs) + "ms total=" + std::to_string(millisecondsSince(turn.started))
                  + "ms)，" + std::to_string(paragraphs.size()) + " 段");
    return paragraphs;
}

void logEndOfBook(const Turn& turn)
{
    log(turn, "📖 翻页后内容未变 (" + std::to_string(millisecondsSince(turn.started)) + "ms)，已到末尾");
}

// A page with nothing to read (a picture, or text no word of which can be recognised) is turned
// past, a few in a row; the book ends where a turn changes nothing.
std::optional<std::vector<ArticleParagraph>> awaitNewPage(Turn turn)
{
    const TimePoint pollStart = Clock::current().now();
    for (int passed = 0;; ++passed) {
        const Look look = awaitTurn(turn);
        switch (look.outcome) {
        case Look::Outcome::abandoned: return std::nullopt;
        case Look::Outcome::unchanged: logEndOfBook(turn); return std::nullopt;
        case Look::Outcome::turned:
            if (auto paragraphs = readNewPage(turn, pollStart))
                return paragraphs;
            break;
        case Look::Outcome::nothingToRead:
            // Blank where text stood: the page did turn, and what it shows may still be words that
            // only recognition reads. After a blank page nothing tells a turn apart from none.
            if (!Text::isBlank(turn.baseline))
                if (auto paragraphs = readNewPage(turn, pollStart))
                    return paragraphs;
            break;
        }
        if (passed == mostPagesPassed) {
            // After a picture the text stays blank whether or not the next turn did anything.
            if (look.outcome == Look::Outcome::nothingToRead)
                logEndOfBook(turn);
            return std::nullopt;
        }
        if (!stillWanted(turn))
            return std::nullopt;
        log(turn, "📖 本页无可读内容，继续翻页 (" + std::to_string(passed + 1) + "/" + std::to_string(mostPagesPassed) + ")");
        turn.baseline = look.text;
        doPageTurn(turn);
    }
}

} // namespace

void turnPage(const std::string& bundleID, PageCompletion completion, std::function<bool()> stillWanted)
{
    Turn turn;
    turn.bundleID = bundleID;
    turn.stillWanted = std::move(stillWanted);
    turn.tag = tagFor(bundleID);
    turn.started = Clock::current().now();
    // Only the book readers' text is compared while polling; any other application's baseline
    // would be a whole detection on the main thread that nothing reads.
    turn.baseline = readPageText(bundleID).value_or("");

    auto app = AXReader::findApp(bundleID);
    if (!app) {
        log(turn, "📖 未找到进程");
        completion(std::nullopt);
        return;
    }
    turn.pid = app->pid;
    doPageTurn(turn);
    log(turn, "📖 翻页 pid=" + std::to_string(turn.pid));

    DispatchQueue::global(QualityOfService::userInitiated).async([turn, completion = std::move(completion)]() mutable {
        auto paragraphs = awaitNewPage(turn);
        DispatchQueue::main().async([completion = std::move(completion), paragraphs = std::move(paragraphs)]() mutable {
            completion(std::move(paragraphs));
        });
    });
}

} // namespace lorvantine::CLIRouter
