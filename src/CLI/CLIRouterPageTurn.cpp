#include "CLI/CLIRouter.h"

#include "Accessibility/AXReader.h"
#include "Documents/AppleBooksSource.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Documents/KindleSource.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Image.h"
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
constexpr int picturePollInterval = 5;
constexpr int settlingLooks = 10;

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
    // Where the page shows no text to compare: a digest of its picture before the press.
    std::optional<uint64_t> baselinePicture;
    // The page the press leaves had nothing to read: the next may look just the same (two blank
    // pages), so an unchanged look does not tell that the press did nothing.
    bool leavingEmptyPage = false;
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

// The page region's picture, for a page whose text cannot tell a turn; a digest is all a
// comparison needs.
std::optional<uint64_t> readPagePicture(const std::string& bundleID)
{
    std::optional<Image> picture;
    if (bundleID == kindleID)
        picture = KindleSource::readPagePicture(bundleID);
    else if (bundleID == booksID)
        picture = AppleBooksSource::readPagePicture(bundleID);
    if (!picture)
        return std::nullopt;
    return picture->digest();
}

// The page before a press: its text, and its picture too where the text is blank (a scan, a
// picture) or cannot be read.
void takeBaseline(Turn& turn, std::optional<std::string> text)
{
    turn.baseline = std::move(text).value_or("");
    turn.baselinePicture = Text::isBlank(turn.baseline) ? readPagePicture(turn.bundleID) : std::nullopt;
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

// Where there is no text to compare, the page has turned once its picture differs from before the
// press. A page seen moving is given a few more looks to come to rest, so that what is read next
// is the page and not a frame of its animation.
bool pictureTurned(const Turn& turn)
{
    if (!turn.baselinePicture)
        return false;
    std::optional<uint64_t> picture = readPagePicture(turn.bundleID);
    if (!picture || *picture == *turn.baselinePicture)
        return false;
    for (int look = 0; look < settlingLooks; ++look) {
        Clock::current().sleep(seconds(0.03));
        std::optional<uint64_t> next = readPagePicture(turn.bundleID);
        if (next == picture)
            break;
        picture = next;
    }
    return true;
}

// What a turn did to the page.
struct Look {
    enum class Outcome {
        turned,        // another page shows: other text, no text where text stood, or another picture
        nothingToRead, // after a page with nothing to read, still no text and the same picture
        unchanged,     // the same page, or none could be read
        abandoned,     // the reading the turn serves has stopped
    };
    Outcome outcome = Outcome::unchanged;
    std::string text; // the text last read ("" when none)
};

// The verdict on a page that did not show its turn while it was watched.
Look::Outcome verdictOn(const Turn& turn, const std::optional<std::string>& text)
{
    if (!text || !Text::isBlank(*text))
        return Look::Outcome::unchanged;
    // Blank where text stood: the page did turn, and what it shows may still be words that only
    // recognition reads.
    if (!Text::isBlank(turn.baseline))
        return Look::Outcome::turned;
    return turn.leavingEmptyPage ? Look::Outcome::nothingToRead : Look::Outcome::unchanged;
}

// One look at the page: its text and, without text to compare and when `withPicture`, its picture.
std::optional<Look> turnSeen(const Turn& turn, const std::optional<std::string>& text, bool withPicture)
{
    if (turnedFrom(turn, text) || (withPicture && pictureTurned(turn)))
        return Look { Look::Outcome::turned, text.value_or("") };
    return std::nullopt;
}

Look pollForChange(const Turn& turn)
{
    std::optional<std::string> text;
    for (int attempt = 0; attempt < pollTries; ++attempt) {
        Clock::current().sleep(seconds(0.03));
        text = readPageText(turn.bundleID);
        // A capture costs far more than a read of the text, so the picture is looked at on every
        // few tries only, the last one among them.
        const bool withPicture = (attempt + 1) % picturePollInterval == 0;
        if (auto seen = turnSeen(turn, text, withPicture))
            return *seen;
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
    if (auto seen = turnSeen(turn, text, true))
        return *seen;
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
        case Look::Outcome::nothingToRead: break;
        }
        if (passed == mostPagesPassed) {
            // After a blank page the next may look the same whether or not the last turn did anything.
            if (look.outcome == Look::Outcome::nothingToRead)
                logEndOfBook(turn);
            return std::nullopt;
        }
        if (!stillWanted(turn))
            return std::nullopt;
        log(turn, "📖 本页无可读内容，继续翻页 (" + std::to_string(passed + 1) + "/" + std::to_string(mostPagesPassed) + ")");
        takeBaseline(turn, look.text);
        turn.leavingEmptyPage = true;
        doPageTurn(turn);
    }
}

// The first press, on the main thread, then the wait for the new page on a worker.
void pressAndAwait(const Turn& turn, PageCompletion completion)
{
    doPageTurn(turn);
    log(turn, "📖 翻页 pid=" + std::to_string(turn.pid));
    DispatchQueue::global(QualityOfService::userInitiated).async([turn, completion = std::move(completion)]() mutable {
        auto paragraphs = awaitNewPage(turn);
        DispatchQueue::main().async([completion = std::move(completion), paragraphs = std::move(paragraphs)]() mutable {
            completion(std::move(paragraphs));
        });
    });
}

} // namespace

void turnPage(const std::string& bundleID, PageCompletion completion, std::function<bool()> wanted)
{
    Turn turn;
    turn.bundleID = bundleID;
    turn.stillWanted = std::move(wanted);
    turn.tag = tagFor(bundleID);
    turn.started = Clock::current().now();
    // Only the book readers' pages are compared while polling; any other application's baseline
    // would be a whole detection on the main thread that nothing reads.
    turn.baseline = readPageText(bundleID).value_or("");

    auto app = AXReader::findApp(bundleID);
    if (!app) {
        log(turn, "📖 未找到进程");
        completion(std::nullopt);
        return;
    }
    turn.pid = app->pid;
    if (!Text::isBlank(turn.baseline)) {
        pressAndAwait(turn, std::move(completion));
        return;
    }
    // A page without text is told by its picture, whose capture would hold up the main thread:
    // it is taken on a worker, and the press follows on the main thread, if still wanted then.
    DispatchQueue::global(QualityOfService::userInitiated).async([turn = std::move(turn), completion = std::move(completion)]() mutable {
        takeBaseline(turn, turn.baseline);
        DispatchQueue::main().async([turn = std::move(turn), completion = std::move(completion)]() mutable {
            if (!stillWanted(turn)) {
                completion(std::nullopt);
                return;
            }
            pressAndAwait(turn, std::move(completion));
        });
    });
}

} // namespace lorvantine::CLIRouter
