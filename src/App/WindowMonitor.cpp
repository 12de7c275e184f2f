#include "App/WindowMonitor.h"

#include "Accessibility/AXReader.h"
#include "Documents/DocumentSourceRegistry.h"
#include "Platform/AccessibilityPort.h"
#include "Platform/Dispatch/Dispatch.h"
#include "Platform/Services.h"
#include "Platform/WorkspacePort.h"
#include "Support/Format.h"
#include "Support/Log.h"
#include "Support/Text.h"

namespace lorvantine {

namespace {

constexpr const char* weChatBundleID = "com.tencent.xinWeChat";
constexpr const char* appleBooksBundleID = "com.apple.iBooksX";
constexpr int booksWebAreaDepth = 8;
constexpr int booksTextDepth = 3;
constexpr size_t booksMinimumTextCharacters = 11;
// The check may run this much after its second, never before: with the read button up it rides
// on the button's fifth-of-a-second catch-up ticks instead of waking the program once more.
constexpr double pollTolerance = 0.2;

std::string windowTitle(const AXElement& window) { return AXReader::attribute(window, "AXTitle").value_or("(no title)"); }

// A static text of 11 Characters or more within the four levels below `element`.
bool hasStaticText(const AXElement& element, int depth)
{
    if (depth > booksTextDepth)
        return false;
    for (const AXElement& child : AXReader::rawChildren(element)) {
        if (AXReader::attribute(child, "AXRole") == "AXStaticText") {
            std::string text = AXReader::attribute(child, "AXValue").value_or("");
            if (text.empty())
                text = AXReader::attribute(child, "AXDescription").value_or("");
            if (Text::characterCount(text) >= booksMinimumTextCharacters)
                return true;
        }
        if (hasStaticText(child, depth + 1))
            return true;
    }
    return false;
}

// A web area with text at most eight levels below `element` (a book's page; the library has none).
bool hasBooksContent(const AXElement& element, int depth)
{
    if (depth > booksWebAreaDepth)
        return false;
    if (AXReader::attribute(element, "AXRole") == "AXWebArea")
        return hasStaticText(element, 0);
    for (const AXElement& child : AXReader::rawChildren(element))
        if (hasBooksContent(child, depth + 1))
            return true;
    return false;
}

} // namespace

WindowMonitor::~WindowMonitor()
{
    if (m_pollTimer)
        m_pollTimer->invalidate();
}

void WindowMonitor::start()
{
    m_activationToken = Platform::workspace().observeActivation([weak = weak_from_this()](const RunningApplication& application) {
        if (auto self = weak.lock())
            self->appDidActivate(application);
    });
    m_pollTimer = Timer::scheduled(seconds(1.0), Timer::Repeats::yes, [weak = weak_from_this()](Timer&) {
        if (auto self = weak.lock())
            self->checkFrontWindow();
    });
    m_pollTimer->setTolerance(seconds(pollTolerance));
    checkFrontWindow();
}

void WindowMonitor::appDidActivate(const RunningApplication&)
{
    m_searchAfresh = true;
    checkFrontWindow();
}

void WindowMonitor::forgetFrontWindow()
{
    m_lastFrontBundleID.reset();
    m_lastTrackedWindow.reset();
}

void WindowMonitor::loseWindow()
{
    if (!m_lastTrackedWindow)
        return;
    m_lastTrackedWindow.reset();
    if (onWindowLost)
        onWindowLost();
}

void WindowMonitor::checkFrontWindow()
{
    const bool searchAfresh = std::exchange(m_searchAfresh, false);
    const std::optional<RunningApplication> front = Platform::workspace().frontmostApplication();
    if (!front) {
        loseWindow();
        return;
    }
    const std::string bundleID = front->bundleIdentifier.value_or("");
    const bool sameApplication = m_lastFrontBundleID == bundleID;

    if (!DocumentSourceRegistry::allBundleIDs().count(bundleID)) {
        loseWindow();
        if (!sameApplication || m_lastFrontBundleID->empty())
            Log::line("[WinMon] front app: " + bundleID + " (not in whitelist)");
        m_lastFrontBundleID = bundleID;
        return;
    }
    Log::line("[WinMon] front app: " + bundleID + " ✓ whitelist");

    if (sameApplication && m_lastTrackedWindow) {
        if (AXReader::position(*m_lastTrackedWindow) && AXReader::size(*m_lastTrackedWindow))
            return;
        loseWindow();
        return;
    }

    const AXElement application = Platform::accessibility().applicationElement(front->pid);
    if (bundleID == appleBooksBundleID && !searchAfresh && !booksSearchDue(application, sameApplication)) {
        m_lastFrontBundleID = bundleID;
        return;
    }
    if (auto window = findReadableWindow(application, bundleID)) {
        m_lastTrackedWindow = *window;
        m_lastBooksLook.reset();
        const auto position = AXReader::position(*window);
        const auto size = AXReader::size(*window);
        if (position && size) {
            Log::line("[WinMon] window detected: " + Format::whole(size->width) + "×" + Format::whole(size->height) + " at ("
                      + Format::whole(position->x) + "," + Format::whole(position->y) + ")");
            if (onWindowDetected)
                onWindowDetected(*window, Rect(*position, *size));
        } else {
            Log::line("[WinMon] window found but no rect");
        }
    } else {
        Log::line("[WinMon] no readable window found for " + bundleID);
        loseWindow();
    }
    m_lastFrontBundleID = bundleID;
}

bool WindowMonitor::booksSearchDue(const AXElement& application, bool sameApplication)
{
    BooksLook look;
    look.focusedWindow = AXReader::focusedWindow(application);
    if (look.focusedWindow)
        look.title = AXReader::attribute(*look.focusedWindow, "AXTitle");
    const TimePoint now = Clock::current().now();
    const bool due = !sameApplication || !m_lastBooksLook || *m_lastBooksLook != look || now >= m_nextBooksSearch;
    if (due) {
        // Remembered for the search about to run; a window found forgets it.
        m_lastBooksLook = look;
        m_nextBooksSearch = now + seconds(booksSearchInterval);
    }
    return due;
}

std::optional<AXElement> WindowMonitor::findReadableWindow(const AXElement& application, const std::string& bundleID)
{
    if (bundleID == weChatBundleID) {
        const std::vector<AXElement> windows = AXReader::windows(application);
        for (size_t i = 0; i < windows.size(); ++i) {
            const std::string title = windowTitle(windows[i]);
            const bool pageMatch = Text::contains(title, "(Page:") || Text::contains(title, "(Page ");
            Log::line("[WinMon] WeChat: win[" + std::to_string(i) + "] title=\"" + title + "\" pageMatch=" + (pageMatch ? "true" : "false"));
            if (pageMatch)
                return windows[i];
        }
        return std::nullopt;
    }
    if (bundleID != appleBooksBundleID) {
        if (auto focused = AXReader::focusedWindow(application))
            return focused;
        const std::vector<AXElement> windows = AXReader::windows(application);
        if (windows.empty())
            return std::nullopt;
        return windows.front();
    }

    std::vector<AXElement> candidates = AXReader::windows(application);
    if (auto focused = AXReader::focusedWindow(application))
        candidates.insert(candidates.begin(), *focused);
    Log::line("[WinMon] Books: " + std::to_string(candidates.size()) + " window candidates");
    for (size_t i = 0; i < candidates.size(); ++i) {
        const bool content = hasBooksContent(candidates[i], 0);
        Log::line("[WinMon] Books: win[" + std::to_string(i) + "] title=\"" + windowTitle(candidates[i]) + "\" hasBooksContent="
                  + (content ? "true" : "false"));
        if (content)
            return candidates[i];
    }
    return std::nullopt;
}

} // namespace lorvantine
