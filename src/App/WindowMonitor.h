#pragma once

#include "Platform/AXTypes.h"
#include "Platform/Dispatch/Clock.h"
#include "Platform/Geometry.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace lorvantine {

class Timer;
struct RunningApplication;

// Watches which application is in front and whether it shows a window the program can read: at
// every activation of an application and once a second. It reports a readable window of a
// supported application once (and again after it lost it, or the front application changed) and
// reports the loss of the window it reported. With a window reported, a check costs two
// attribute reads. Books is searched deeply for a page with text; while none is found that search
// runs at once on activation and when the focused window or its title changes, otherwise at most
// every five seconds (a page whose text fills in later is still found).
//
// Main thread only: the timer, the activation handler and the reports. Once started it runs for
// the life of the object; the timer and the handler hold it weakly, and go with it.
class WindowMonitor : public std::enable_shared_from_this<WindowMonitor> {
public:
    ~WindowMonitor();

    // Between deep searches of a Books front application in which none found a page.
    static constexpr double booksSearchInterval = 5.0;

    // The readable window and its rectangle (global, top-left origin).
    std::function<void(const AXElement&, const Rect&)> onWindowDetected;
    std::function<void()> onWindowLost;

    // Registers for activations, starts the one-second timer and checks at once. Once.
    void start();
    // One check of the front application.
    void checkFrontWindow();
    // The handler of an application's activation: one check, searching afresh.
    void appDidActivate(const RunningApplication& application);
    // Forgets the front application and the reported window, so the next check reports anew.
    void forgetFrontWindow();

    const std::optional<std::string>& lastFrontBundleID() const { return m_lastFrontBundleID; }
    const std::optional<AXElement>& lastTrackedWindow() const { return m_lastTrackedWindow; }

private:
    // What tells a Books search from the last one that found nothing: the focused window and
    // its title.
    struct BooksLook {
        std::optional<AXElement> focusedWindow;
        std::optional<std::string> title;
        friend bool operator==(const BooksLook&, const BooksLook&) = default;
    };

    void loseWindow();
    bool booksSearchDue(const AXElement& application, bool sameApplication);
    std::optional<AXElement> findReadableWindow(const AXElement& application, const std::string& bundleID);

    std::shared_ptr<Timer> m_pollTimer;
    std::shared_ptr<void> m_activationToken;
    std::optional<std::string> m_lastFrontBundleID;
    std::optional<AXElement> m_lastTrackedWindow;
    bool m_searchAfresh = false;
    std::optional<BooksLook> m_lastBooksLook;
    TimePoint m_nextBooksSearch {};
};

} // namespace lorvantine
